#pragma once
// A MIDI output that records what is sent to it, with the virtual time of the
// installed timer and the opening it went through, and can be told to fail.
// A closed gate holds note-ons inside the send, as a slow device would hold
// the thread that sends. Installed for its lifetime.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "platform/MidiOutDevice.h"

namespace solvane::test {

struct Sent {
    enum Kind { kShort, kLong, kReset, kClose } kind;
    std::vector<std::uint8_t> bytes;  // short messages unpacked to 3 bytes
    std::chrono::milliseconds at;     // virtual time since the output was opened
    int opening;                      // which Open made the handle: 0 for the first call, and so on
};

// How many of lines are exactly line.
int Count(const std::vector<std::string>& lines, std::string_view line);

class RecordingMidiOut : public MidiOutDevice {
public:
    RecordingMidiOut();
    ~RecordingMidiOut() override;

    int DeviceCount() override { return deviceCount; }
    std::unique_ptr<MidiOutHandle> Open(int id) override;
    void Beep(std::uint32_t hertz, std::uint32_t milliseconds) override;

    std::vector<Sent> sent() const;
    // The messages as text: "90 3C 64", "F0 7E 7F 09 01 F7", "RESET", "CLOSE".
    std::vector<std::string> lines() const;
    int opens() const;
    std::vector<int> openedIds() const;
    int beeps() const;

    void CloseGate();
    void OpenGate();
    int waitingAtGate() const;

    int deviceCount = 1;
    bool openFails = false;
    bool shortFails = false;
    MidiOutHandle::LongResult longResult = MidiOutHandle::LongResult::kSent;
    bool resetFails = false;
    bool closeFails = false;

private:
    friend class RecordingHandle;
    void Record(int opening, Sent::Kind kind, std::vector<std::uint8_t> bytes);
    void PassGate();

    mutable std::mutex mutex_;
    std::condition_variable gateOpened_;
    bool gateClosed_ = false;
    int waiting_ = 0;
    std::vector<Sent> sent_;
    std::vector<int> openedIds_;
    int beeps_ = 0;
    std::chrono::steady_clock::time_point openedAt_{};
};

}  // namespace solvane::test
