#pragma once
// The player's walk over a song on a virtual clock: what it sends and when,
// as a play would send it, at once. Every time shown or written anywhere
// (info's duration, the render's samples, the piano roll) comes from here,
// so that what is heard, seen and said can never disagree.

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>

#include "platform/MidiOutDevice.h"
#include "platform/VirtualTimer.h"
#include "playback/MidiPlayer.h"
#include "song/MidiF0Data.h"

namespace solvane {

// Takes every message and sends none, for walks where only the times count.
class SilentMidiOut : public MidiOutDevice {
    class Handle : public MidiOutHandle {
    public:
        bool ShortMessage(std::uint32_t) override { return true; }
        LongResult LongMessage(const std::uint8_t*, std::size_t) override { return LongResult::kSent; }
        bool Reset() override { return true; }
        bool Close() override { return true; }
    };

public:
    int DeviceCount() override { return 1; }
    std::unique_ptr<MidiOutHandle> Open(int) override { return std::make_unique<Handle>(); }
    void Beep(std::uint32_t, std::uint32_t) override {}
};

struct WalkEnd {
    bool finished = false;  // the play ran to its end; the clock reads the time it took
    std::int32_t sent = 0;  // events the sequencer sent, when it published them
};

// Walks prepared (as PrepareForPlay makes it) on clock into output until
// the play ends or cancelled says so; published gets the sequencer's count
// of events sent. The player is released (output reset) before the return.
inline WalkEnd WalkOnVirtualClock(MidiF0Data& prepared, VirtualTimer& clock, MidiOutDevice& output,
                                  std::atomic<std::int32_t>* published = nullptr,
                                  const std::function<bool()>& cancelled = {}) {
    WalkEnd end;
    MidiPlayer player(&prepared, kDefaultDevice, cancelled, &clock, &output, published);
    if (player.device == nullptr) return end;
    clock.RunUntilIdle(cancelled);
    end.finished = player.playing == 0 && !(cancelled && cancelled());
    if (published != nullptr) end.sent = published->load();
    return end;
}

}  // namespace solvane
