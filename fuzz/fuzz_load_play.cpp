// Bytes as a chosen file: loaded as the dialog loads it, prepared as Play
// prepares its copy (division 96, event form, leading bars trimmed), then
// played by the sequencer on a counting output with a timer whose every
// event the target fires at once. The timer chain must end: each callback
// sends at least one event, so it cannot take more callbacks than events;
// and the output, opened once, is reset and closed once at the end.

#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "fuzz/CountingMidiOut.h"
#include "fuzz/FuzzSteps.h"
#include "fuzz/QuietSink.h"
#include "playback/MidiPlayer.h"
#include "playback/MusicPlayer.h"
#include "platform/VirtualTimer.h"
#include "track/MidiTrackData.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace solvane;
    fuzz::QuietSink sink;
    MidiTrackData::ResetReaderState();  // every input starts like a fresh program

    const auto loader = fuzz::LoadAsTheDialogDoes(data, size);
    if (!loader->song) return 0;
    const auto song = PrepareForPlay(*loader->song);

    VirtualTimer timer;
    fuzz::CountingMidiOut out;
    {
        MidiPlayer player(song.get(), kDefaultDevice, {}, &timer, &out);
        const std::int64_t limit = std::int64_t{song->track->count()} + 1;
        std::int64_t fired = 0;
        timer.RunUntilIdle([&] { return fired++ >= limit; });
        if (timer.PendingCount() != 0) {
            std::fprintf(stderr, "solvane fuzz: the timer chain outlasts its %d events\n", song->track->count());
            __builtin_trap();
        }
    }
    // Released: the output was reset and closed, once, as its last two messages.
    const bool closed = out.beforeLast == fuzz::CountingMidiOut::kReset && out.last == fuzz::CountingMidiOut::kClose;
    if (out.opens != 1 || !closed || out.resets + out.closes != 2) {
        std::fprintf(stderr, "solvane fuzz: the output was not reset and closed exactly once\n");
        __builtin_trap();
    }
    return 0;
}
