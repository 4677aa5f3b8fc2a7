#include "cli/PlayedLength.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>

#include "platform/Installed.h"
#include "platform/MessageSink.h"
#include "platform/MidiOutDevice.h"
#include "platform/OneShotTimer.h"
#include "platform/VirtualTimer.h"
#include "playback/MidiPlayer.h"
#include "playback/MusicPlayer.h"
#include "song/MidiF0Data.h"

namespace solvane::cli {
namespace {

// An output that takes every message and sends none: only the times count.
class SilentOutput : public MidiOutDevice {
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

class HeldBack : public MessageSink {
public:
    void Show(std::string_view, std::uint32_t, std::string_view) override {}
};

// Puts the walk's own timer, output and sink in place, and the program's back after it.
class WalkSetting {
public:
    WalkSetting()
        : timer_(Installed<OneShotTimer>::Current()),
          output_(CurrentMidiOutDevice()),
          sink_(Installed<MessageSink>::Current()) {
        InstallTimer(&clock);
        InstallMidiOutDevice(&silent_);
        InstallMessageSink(&heldBack_);
    }
    ~WalkSetting() {
        InstallMessageSink(sink_);
        InstallMidiOutDevice(output_);
        InstallTimer(timer_);
    }
    WalkSetting(const WalkSetting&) = delete;
    WalkSetting& operator=(const WalkSetting&) = delete;

    VirtualTimer clock;

private:
    OneShotTimer* timer_;
    MidiOutDevice* output_;
    MessageSink* sink_;
    SilentOutput silent_;
    HeldBack heldBack_;
};

}  // namespace

std::optional<std::chrono::milliseconds> PlayedLength(const MidiF0Data& song) {
    WalkSetting setting;
    std::unique_ptr<MidiF0Data> prepared = PrepareForPlay(song);
    bool done = false;
    {
        MidiPlayer player(prepared.get(), kDefaultDevice);
        setting.clock.RunUntilIdle();
        done = player.device != nullptr && player.playing == 0;
    }
    if (!done) return std::nullopt;
    return std::chrono::duration_cast<std::chrono::milliseconds>(setting.clock.Elapsed());
}

}  // namespace solvane::cli
