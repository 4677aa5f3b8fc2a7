#include "cli/PlayedLength.h"

#include <cstdint>
#include <memory>
#include <string_view>

#include "platform/Installed.h"
#include "platform/MessageSink.h"
#include "platform/VirtualWalk.h"
#include "playback/MusicPlayer.h"
#include "song/MidiF0Data.h"

namespace solvane::cli {
namespace {

class HeldBack : public MessageSink {
public:
    void Show(std::string_view, std::uint32_t, std::string_view) override {}
};

// What the walk reports, the load already reported (or a play would): held
// back while it runs, the program's sink put back after it.
class ReportsHeldBack {
public:
    ReportsHeldBack() : sink_(Installed<MessageSink>::Current()) { InstallMessageSink(&heldBack_); }
    ~ReportsHeldBack() { InstallMessageSink(sink_); }
    ReportsHeldBack(const ReportsHeldBack&) = delete;
    ReportsHeldBack& operator=(const ReportsHeldBack&) = delete;

private:
    MessageSink* sink_;
    HeldBack heldBack_;
};

}  // namespace

std::optional<std::chrono::milliseconds> PlayedLength(const MidiF0Data& song) {
    const ReportsHeldBack quiet;
    std::unique_ptr<MidiF0Data> prepared = PrepareForPlay(song);
    VirtualTimer clock;
    SilentMidiOut silent;
    if (!WalkOnVirtualClock(*prepared, clock, silent).finished) return std::nullopt;
    return std::chrono::duration_cast<std::chrono::milliseconds>(clock.Elapsed());
}

}  // namespace solvane::cli
