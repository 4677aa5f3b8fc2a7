#pragma once
// The song: one piece held as a single track, the shape of a format-0 file.
// It owns its byte image and its track. state: 0 image (file bytes current),
// 1 event form, 2 note form; the loaded song stays in note form and every
// Save and Play works on a copy.

#include <cstdint>
#include <memory>
#include <string>

#include "support/ByteImage.h"
#include "track/MidiTrackData.h"

namespace solvane {

class MidiF0Data : public ByteImage {
public:
    // An empty song in the given state, with an empty track in the same state.
    explicit MidiF0Data(std::int32_t state);
    // A song from a format-0 file: load, header, track, note form. Always
    // ends in state 2; each step reports its own errors and the next runs.
    explicit MidiF0Data(const std::string& path);
    // The same from a whole-file read already made (the loader's): the
    // image is taken as that read left it.
    MidiF0Data(MemoryBlock image, std::int32_t imageSize);
    // A copy of the events (the image is not copied); songs are copied in note form.
    MidiF0Data(const MidiF0Data& other);
    MidiF0Data& operator=(const MidiF0Data&) = delete;

    int LoadFile(const std::string& path);
    int ParseHeader();
    void ParseTrack();
    void ToNoteForm();
    void ToEventForm();

    // Writes the song as a format-0 file into its own image (state 1 to 0).
    void WriteSmf();
    // Whether the image holds a whole file written by WriteSmf: the header
    // and a complete track chunk. Anything less is never saved.
    bool HoldsWrittenFile() const { return state == kStateImage && track->state == kStateImage && size > 14; }
    void WriteHeader();

    void ReverseHorizontal();
    void ShiftProgramChanges();
    void ReverseVertical();

    // Playback preparation (the play itself is the player's).
    void ChangeDivision(std::int32_t newDivision);
    void TrimLeadingBars();
    void ClearTimeUpTo(std::int32_t ticks);
    std::int32_t BarLength() const;

    // 0 or 1 from the header's format field, -1 for anything else. Moves an
    // image with a 128-byte prefix down in place (size is not changed).
    static int DetectFormat(std::uint8_t* image, std::int32_t size);

    void ReportError(std::uint32_t code) const;

    std::int32_t division = 0;
    std::int32_t state = kStateImage;
    std::unique_ptr<MidiTrackData> track;

private:
    void ReadSong();
    void Convert(std::int32_t from, void (MidiTrackData::*conversion)(), std::int32_t to);
};

}  // namespace solvane
