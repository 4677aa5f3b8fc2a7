#pragma once
// Large, realistic Standard MIDI Files made in code for the benchmarks: a
// dense format-1 arrangement (16 tracks, one per channel), a format-0 band
// arrangement and a two-track piano piece. Each is filled bar by bar up to a
// byte budget, so the same piece comes in several sizes; the content depends
// only on the kind and the budget (fixed seeds).

#include <cstdint>
#include <string>
#include <vector>

namespace solvane::bench {

using Bytes = std::vector<std::uint8_t>;

enum class PieceKind { kDenseFormat1, kBandFormat0, kPianoTwoTracks };

// The largest file the program reads whole: one byte below its image.
inline constexpr std::int32_t kFullSize = 262144 - 1;

// A piece of the kind, as many whole bars as fit into maxBytes.
Bytes MakePiece(PieceKind kind, std::int32_t maxBytes);

// "dense-f1", "band-f0", "piano-2tr".
std::string PieceName(PieceKind kind);

// The three kinds at quarter, half and full size, as "<name>-<quarter|half|full>.mid".
struct BenchFile {
    std::string name;
    PieceKind kind;
    std::int32_t maxBytes;
};
std::vector<BenchFile> StandardFiles();

}  // namespace solvane::bench
