// Bytes as two chosen files, one after the other: the second begins at the
// last "MThd" after the first byte (with none, the second file is empty).
// The first is loaded as the window loads it and thrown away as the window's
// next load throws it away; then the second is loaded the same way. Its song
// (state, division, every field and data byte of every event, in order) and
// the reports of its load must be those of the second file loaded alone by
// a fresh program: nothing the first load left behind (the reader's running
// status, the once-per-track warnings) may show in the next.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

#include "fuzz/FuzzSteps.h"
#include "fuzz/QuietSink.h"
#include "track/MidiTrackData.h"

namespace {

using namespace solvane;

std::size_t SecondFileStart(const std::uint8_t* data, std::size_t size) {
    static constexpr std::uint8_t kHeader[] = {'M', 'T', 'h', 'd'};
    if (size < 1 + sizeof kHeader) return size;
    for (std::size_t at = size - sizeof kHeader; at >= 1; --at) {
        if (std::memcmp(data + at, kHeader, sizeof kHeader) == 0) return at;
    }
    return size;
}

[[noreturn]] void Fail(const char* what, const std::vector<std::uint32_t>& after,
                       const std::vector<std::uint32_t>& alone) {
    std::fprintf(stderr, "solvane fuzz: %s\n  after the first file:", what);
    for (std::uint32_t code : after) std::fprintf(stderr, " 0x%08X", code);
    std::fprintf(stderr, "\n  alone:");
    for (std::uint32_t code : alone) std::fprintf(stderr, " 0x%08X", code);
    std::fprintf(stderr, "\n");
    __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::QuietSink sink;
    MidiTrackData::ResetReaderState();  // every input starts like a fresh program

    const std::size_t split = SecondFileStart(data, size);
    // The window drops the loaded song before it loads the next file.
    fuzz::LoadAsTheDialogDoes(data, split).reset();
    sink.codes.clear();
    const auto after = fuzz::LoadAsTheDialogDoes(data + split, size - split);
    const std::vector<std::uint32_t> afterCodes = sink.codes;

    MidiTrackData::ResetReaderState();
    sink.codes.clear();
    const auto alone = fuzz::LoadAsTheDialogDoes(data + split, size - split);

    if (afterCodes != sink.codes) Fail("the second file reports otherwise after the first", afterCodes, sink.codes);
    if (after->size != alone->size || !fuzz::SameSong(after->song.get(), alone->song.get())) {
        Fail("the second file loads another song after the first", afterCodes, sink.codes);
    }
    return 0;
}
