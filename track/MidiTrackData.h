#pragma once
// One track: the bytes of one "MTrk" chunk and the list of at most kTrackCapacity
// events read from them, in time order. The track owns its events. state: -1
// empty (no form yet, also a refused chunk), 0 byte image, 1 event form
// (note-on and note-off apart), 2 note form (one event per note, with duration).
//
// Every list the program holds begins with the reader, which promises what
// the later steps build on: no delta is negative, and a track lasts no
// longer than a delta can hold. Since every event takes two file bytes at
// least, no list made from a file of kImageCapacity bytes fills up.

#include <concepts>
#include <cstdint>
#include <type_traits>
#include <utility>
#include <vector>

#include "support/ByteImage.h"
#include "support/ReportCodes.h"
#include "track/MusicEvent.h"

namespace solvane {

inline constexpr std::int32_t kTrackCapacity = 0x20000;
// The longest time a delta (and so a track, and a note) can hold.
inline constexpr std::int64_t kLongestTime = 0x7FFFFFFF;

inline constexpr std::int32_t kStateEmpty = -1;
inline constexpr std::int32_t kStateImage = 0;
inline constexpr std::int32_t kStateEventForm = 1;
inline constexpr std::int32_t kStateNoteForm = 2;

class MidiTrackData : public ByteImage {
public:
    MidiTrackData() = default;
    explicit MidiTrackData(std::int32_t state) : state(state) {}
    // Reads the chunk at offset of an image holding imageSize valid bytes.
    // Afterwards size is the chunk's size (length + 8), or 0 when refused.
    MidiTrackData(std::int32_t imageSize, std::int32_t offset, const std::uint8_t* image);
    // Deep copy of a track in note form; any other track copies no events.
    MidiTrackData(const MidiTrackData& other);
    MidiTrackData& operator=(const MidiTrackData&) = delete;

    std::int32_t count() const { return static_cast<std::int32_t>(events.size()); }

    // List operations. Removing an event adds its delta to the next one, so no
    // other event moves in time.
    // The list takes the record (a copy, or the record itself when it is
    // given up); false (and reported) when the list is full. Here, as the
    // split of a song appends every event.
    template <typename Record>
        requires std::same_as<std::remove_cvref_t<Record>, MusicEvent>
    bool Append(Record&& event) {
        if (ListFull()) {
            ReportError(kTrackTooMuchData);
            return false;
        }
        events.push_back(std::forward<Record>(event));
        return true;
    }
    void AppendEndOfTrack(std::int32_t delta);
    // The End of Track record this track adds itself.
    static MusicEvent EndOfTrack(std::int32_t delta);
    std::int32_t RemoveAt(std::int32_t index);
    void Clear() { events.clear(); }
    void KeepLastEndOfTrack();
    // The two events trade places; each slot keeps its delta (and so its time).
    void ExchangeEvents(std::int32_t a, std::int32_t b);
    // The two events trade places together with their deltas.
    void SwapEvents(std::int32_t a, std::int32_t b);
    // mode 2: before index; any other mode: after it.
    void InsertEvent(std::int32_t index, std::int32_t mode, MusicEvent event);

    // Conversions between the two forms, and the removal of marked events.
    void ToNoteForm();
    void ToEventForm();
    void DropMarked();

    // Merges other into this track by time; both in note form.
    void MergeTrack(const MidiTrackData& other);
    // The same for every track, the last first, as one MergeTrack call each.
    void MergeTracks(const std::vector<const MidiTrackData*>& tracks);

    // Writing: the three reorderings of simultaneous events, then the chunk.
    void SortSimultaneous();
    void RaiseSysex();
    void OffsBeforeOns();
    // Refuses (and writes nothing) unless the list is complete: in event form
    // and closed by an End of Track. Afterwards state is 0 when it wrote.
    void WriteTrack();
    // The bytes of one event without its delta; returns their number, or -1
    // when the event has no bytes (reported once per track written).
    std::int32_t EncodeEvent(const MusicEvent& event, std::vector<std::uint8_t>& out) const;
    std::int32_t EncodeMeta(const MusicEvent& event, std::vector<std::uint8_t>& out) const;

    // Playback preparation.
    void Rescale(std::int32_t oldDivision, std::int32_t newDivision);
    int FindTimeSignature(std::int32_t& code) const;

    void ReportError(std::uint32_t code) const;
    // Warnings shown at most once per track read; code 0 allows them again.
    static void ReportTrackWarning(std::uint32_t code);
    // The reader's running status is process-wide and carries from track to
    // track within a file; each file starts from no status, so a file reads
    // the same whatever was read before it.
    static void ResetRunningStatus();
    // The running status and the warning flags as in a fresh program (used by
    // tests and fuzzers).
    static void ResetReaderState();

    std::int32_t state = kStateEmpty;
    std::vector<MusicEvent> events;

private:
    // The chunk being read is all in the block (size never passes it), so a
    // byte below size needs no other check; as size is never negative, one
    // unsigned comparison takes both ends (a negative offset is huge). The
    // index, known to fit, goes in as 32 unsigned bits: the sanitizer's
    // overflow check of the address then has no sign to test, and the fuzz
    // build traces two comparisons less for every byte read.
    std::uint8_t ChunkByte(std::int64_t offset) const {
        return static_cast<std::uint64_t>(offset) < static_cast<std::uint64_t>(size)
                   ? Bytes()[static_cast<std::uint32_t>(offset)]
                   : 0;
    }
    std::uint32_t ReadVarLen(std::int64_t& position) const;
    void ParseMessage(MusicEvent& event);
    std::int64_t DecodeMessage(MusicEvent& event, std::int32_t status, std::int64_t dataStart) const;
    std::int64_t DecodeMeta(MusicEvent& event, std::int64_t dataStart) const;
    std::int64_t DecodeSysEx(MusicEvent& event, std::int64_t dataStart) const;
    std::int64_t DecodeEscape(MusicEvent& event, std::int64_t dataStart) const;
    static void ClassifySysEx(MusicEvent& event);
    bool ListFull() const { return count() >= kTrackCapacity; }
    bool InRange(std::int32_t index) const { return index >= 0 && index < count(); }
    void AddDeltaToNext(std::int32_t index);

    // Whether the writer has shown, for the track it is writing, that some
    // events have no bytes: a piece can hold thousands of them.
    mutable bool undefinedReported_ = false;
};

}  // namespace solvane
