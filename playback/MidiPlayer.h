#pragma once
// The sequencer: plays one song (event form, division 96) on a MidiControler,
// timed by a chain of one-shot timer events. Everything before the first note
// goes out at once when playing starts; each callback then sends what is due
// and arms the next. Created and released on the play's worker thread; the
// callbacks run on the timer thread. The song is not owned.

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>

#include "platform/OneShotTimer.h"
#include "playback/MidiControler.h"
#include "support/ReportCodes.h"

namespace solvane {

class MidiF0Data;
class MusicEvent;

// Quarter notes per minute for a tempo in microseconds per quarter note;
// the caller makes sure microseconds / 1000 is not 0.
std::int32_t TempoToBpm(std::int32_t microseconds);

class MidiPlayer {
public:
    // Opens the output, sends System On and the pre-roll and starts the timer.
    // device is null afterwards when nothing plays. stopWhileStarting, when
    // given, is a stop that can come before anyone can reach stopRequested:
    // it cuts the pre-roll's pause short, and then no timer is started.
    // timer and output are the installed ones unless given: a render walks
    // the song on a clock of its own into a recorder. published, when given,
    // gets the count of events sent after each one, and -1 at the release,
    // so that others can follow the play without reaching the sequencer.
    MidiPlayer(MidiF0Data* song, std::int32_t deviceId, std::function<bool()> stopWhileStarting = {},
               OneShotTimer* timer = nullptr, MidiOutDevice* output = nullptr,
               std::atomic<std::int32_t>* published = nullptr);
    // Release: the timer chain is ended, then the output reset and closed.
    ~MidiPlayer();
    MidiPlayer(const MidiPlayer&) = delete;
    MidiPlayer& operator=(const MidiPlayer&) = delete;

    // Sends one event, advances position and returns the delta of the event
    // now at position, or -1 when the list is done.
    std::int32_t SendEvent(const MusicEvent& event);
    void PreRoll();
    void OnTimer(std::uint32_t id, OneShotTimer::Clock::time_point due);
    void ReportError(std::uint32_t code) const;

    MidiF0Data* song = nullptr;
    std::uint32_t period = 0;
    std::unique_ptr<MidiControler> device;
    std::int32_t position = 0;
    std::atomic<int> stopRequested{0};
    std::atomic<int> playing{0};
    std::int32_t tempo = 240;
    std::atomic<std::uint32_t> timerId{0};

private:
    void Start(std::int32_t deviceId, MidiOutDevice* output);
    void Release();
    // Arms the next callback; false when the chain is closed or the timer refused.
    bool Arm(OneShotTimer::Clock::time_point due, std::uint32_t resolution);
    bool StoppedWhileStarting() const { return stopWhileStarting_ && stopWhileStarting_(); }

    OneShotTimer& timer_;
    std::function<bool()> stopWhileStarting_;
    std::atomic<std::int32_t>* published_ = nullptr;
    std::mutex armMutex_;
    bool closed_ = false;
    bool periodBegun_ = false;
};

}  // namespace solvane
