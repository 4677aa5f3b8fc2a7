// Bytes as a chosen file: loaded as the dialog loads it (and as the command
// line does, which must give the same song), saved with each of
// the four combinations of the two boxes, and every written file loaded
// again. Besides the sanitizers, two properties are checked: a song ending
// in an End of Track is written as a whole file (one without is written as
// the header alone), and a file the program wrote loads again without a
// structural report.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "fuzz/FuzzSteps.h"
#include "fuzz/MemoryFile.h"
#include "fuzz/QuietSink.h"
#include "track/MidiTrackData.h"

namespace {

using namespace solvane;

constexpr std::size_t kHeaderOnly = 14;

[[noreturn]] void Fail(const char* what, int boxes, const std::vector<std::uint32_t>& codes) {
    std::fprintf(stderr, "solvane fuzz: %s", what);
    if (boxes >= 0) std::fprintf(stderr, " (horizontal %d, vertical %d)", boxes & 1, (boxes >> 1) & 1);
    std::fprintf(stderr, "; reports:");
    for (std::uint32_t code : codes) std::fprintf(stderr, " 0x%08X", code);
    std::fprintf(stderr, "\n");
    __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static fuzz::MemoryFile input("solvane-input");
    static fuzz::MemoryFile written("solvane-written");
    fuzz::QuietSink sink;
    MidiTrackData::ResetReaderState();  // every input starts like a fresh program

    input.Write(data, size);
    const auto loader = fuzz::LoadAsTheDialogDoes(input.path());
    // The command line's load, which merges a format-0 song in its own list
    // where it can, gives the same song and reports.
    const std::vector<std::uint32_t> loadCodes = sink.codes;
    sink.codes.clear();
    MidiTrackData::ResetReaderState();
    const auto atOnce = fuzz::LoadAsTheCommandLineDoes(input.path());
    if (sink.codes != loadCodes || !fuzz::SameSong(loader->song.get(), atOnce->song.get())) {
        Fail("the command line loads another song", -1, sink.codes);
    }
    if (!loader->song) return 0;
    const std::vector<MusicEvent>& events = loader->song->track->events;
    const bool ends = std::any_of(events.begin(), events.end(), [](const MusicEvent& e) { return e.IsEndOfTrack(); });

    for (int boxes = 0; boxes < 4; ++boxes) {
        const std::vector<std::uint8_t> bytes =
            fuzz::SaveAsTheDialogDoes(*loader->song, (boxes & 1) != 0, (boxes & 2) != 0);
        if (ends != (bytes.size() > kHeaderOnly)) {
            Fail("written file does not match the End of Track", boxes, sink.codes);
        }
        written.Write(bytes.data(), bytes.size());
        sink.codes.clear();
        const auto again = fuzz::LoadAsTheDialogDoes(written.path());
        if (!ends) continue;  // the header alone loads nothing, by design
        if (!again->song) Fail("written file does not load again", boxes, sink.codes);
        if (std::any_of(sink.codes.begin(), sink.codes.end(), fuzz::IsStructuralReport)) {
            Fail("written file reports damage when loaded again", boxes, sink.codes);
        }
    }
    return 0;
}
