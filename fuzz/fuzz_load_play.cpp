// Bytes as a chosen file: loaded as the dialog loads it, prepared as Play
// prepares its copy (division 96, event form, leading bars trimmed), then
// played by the sequencer on a recording output with a timer whose every
// event the target fires at once. The timer chain must end: each callback
// sends at least one event, so it cannot take more callbacks than events;
// and the output, opened once, is reset and closed once at the end.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "fuzz/FuzzSteps.h"
#include "fuzz/MemoryFile.h"
#include "fuzz/QuietSink.h"
#include "playback/MidiPlayer.h"
#include "tests/support/ManualTimer.h"
#include "tests/support/RecordingMidiOut.h"
#include "track/MidiTrackData.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace solvane;
    static fuzz::MemoryFile input("solvane-input");
    fuzz::QuietSink sink;
    MidiTrackData::ResetReaderState();  // every input starts like a fresh program

    input.Write(data, size);
    const auto loader = fuzz::LoadAsTheDialogDoes(input.path());
    if (!loader->song) return 0;
    const auto song = fuzz::PrepareForPlay(*loader->song);

    test::ManualTimer timer;
    test::RecordingMidiOut out;
    {
        MidiPlayer player(song.get(), kDefaultDevice);
        timer.FireAll(song->track->count() + 1);
        if (!timer.pending().empty()) {
            std::fprintf(stderr, "solvane fuzz: the timer chain outlasts its %d events\n", song->track->count());
            __builtin_trap();
        }
    }
    // Released: the output was reset and closed, once, as its last two messages.
    const std::vector<test::Sent> sent = out.sent();
    const bool closed = sent.size() >= 2 && sent[sent.size() - 2].kind == test::Sent::kReset &&
                        sent.back().kind == test::Sent::kClose;
    std::size_t endings = 0;
    for (const test::Sent& s : sent) endings += s.kind == test::Sent::kReset || s.kind == test::Sent::kClose ? 1 : 0;
    if (out.opens() != 1 || !closed || endings != 2) {
        std::fprintf(stderr, "solvane fuzz: the output was not reset and closed exactly once\n");
        __builtin_trap();
    }
    return 0;
}
