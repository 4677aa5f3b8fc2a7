// Bytes as a chosen file: loaded as the dialog loads it, saved with each of
// the four combinations of the two boxes, and every written file loaded
// again. Besides the sanitizers, two properties are checked: a song with a
// complete track is written (one without writes nothing), and a file the
// program wrote loads again without a structural report. (The command line
// loads with the very same steps.)

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "fuzz/FuzzSteps.h"
#include "fuzz/QuietSink.h"
#include "track/MidiTrackData.h"

namespace {

using namespace solvane;

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
    fuzz::QuietSink sink;
    MidiTrackData::ResetReaderState();  // every input starts like a fresh program

    const auto loader = fuzz::LoadAsTheDialogDoes(data, size);
    if (!loader->song) return 0;
    // Every Save starts from the same copy in event form.
    const auto eventForm = fuzz::InEventForm(*loader->song);
    // Bit 4: the musical step, which only goes with the time mirror.
    for (int boxes = 0; boxes < 8; ++boxes) {
        if ((boxes & 4) != 0 && (boxes & 1) == 0) continue;
        const std::vector<std::uint8_t> bytes =
            fuzz::SaveAsTheDialogDoes(*eventForm, (boxes & 1) != 0, (boxes & 2) != 0, (boxes & 4) != 0);
        // Nothing is written without a complete track; what is written loads
        // again without a word about its structure.
        if (bytes.empty()) {
            if (eventForm->track->events.empty() || !eventForm->track->events.back().IsEndOfTrack()) continue;
            Fail("a complete track is not written", boxes, sink.codes);
        }
        sink.codes.clear();
        const auto again = fuzz::LoadAsTheDialogDoes(bytes.data(), bytes.size());
        if (!again->song) Fail("written file does not load again", boxes, sink.codes);
        if (std::any_of(sink.codes.begin(), sink.codes.end(), fuzz::IsStructuralReport)) {
            Fail("written file reports damage when loaded again", boxes, sink.codes);
        }
    }
    return 0;
}
