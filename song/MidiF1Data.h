#pragma once
// The multi-track form of a song: up to 33 tracks with the file's division,
// built by reading a format-1 file or by splitting a song by channel, and then
// merged into one song by the loader. state: 0 image loaded, 1 tracks read
// (event form), 2 tracks in note form, ready to merge.

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "support/ByteImage.h"
#include "track/MidiTrackData.h"

namespace solvane {

class MidiF0Data;

inline constexpr std::int32_t kMaxTracks = 33;

class MidiF1Data : public ByteImage {
public:
    // Reads a format-1 file: header, every track chunk, note form.
    explicit MidiF1Data(const std::string& path);
    // The same from a whole-file read already made (the loader's).
    MidiF1Data(MemoryBlock image, std::int32_t imageSize);
    // Splits a song in note form into 16 tracks, one per channel; events
    // without a channel go with channel 0.
    explicit MidiF1Data(const MidiF0Data& song);
    MidiF1Data(const MidiF1Data&) = delete;
    MidiF1Data& operator=(const MidiF1Data&) = delete;

    int ReadHeader();
    void ReadTracks();
    void ConvertTracks();

    void ReportError(std::uint32_t code) const;

    std::int32_t division = 0;
    std::int32_t state = kStateImage;
    std::int32_t trackCount = 0;
    // Held in place (a format-0 file's split alone makes 16 of them on every
    // load); a track not read is absent.
    std::array<std::optional<MidiTrackData>, kMaxTracks> tracks;

private:
    void ReadFile();
};

}  // namespace solvane
