#pragma once
// One track: the bytes of one "MTrk" chunk and the list of at most kTrackCapacity
// events read from them, in time order. The track owns its events. state: -1
// empty (no form yet, also a refused chunk), 0 byte image, 1 event form
// (note-on and note-off apart), 2 note form (one event per note, with duration).

#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

#include "support/ByteImage.h"
#include "track/MusicEvent.h"

namespace solvane {

inline constexpr std::uint32_t kTrackInternalError = 0x0D000001;
inline constexpr std::uint32_t kTrackUndefinedEvent = 0x0D000002;
inline constexpr std::uint32_t kTrackBadChannel = 0x0D000003;
inline constexpr std::uint32_t kTrackBadTempo = 0x0D000005;
inline constexpr std::uint32_t kTrackTooMuchData = 0x0D000006;
inline constexpr std::uint32_t kTrackNoChunk = 0x0D000007;
inline constexpr std::uint32_t kTrackOversizedEvent = 0x0D00000B;  // a warning, once per track read

inline constexpr std::int32_t kTrackCapacity = 0x20000;

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
    bool Append(MusicEvent event);  // false (and reported) when the list is full
    void AppendEndOfTrack(std::int32_t delta);
    // The End of Track record this track adds itself.
    static MusicEvent EndOfTrack(std::int32_t delta);
    std::int32_t RemoveAt(std::int32_t index);
    void Clear() { events.clear(); }
    void KeepLastEndOfTrack();
    // The two events trade places; each slot keeps its delta (and so its time).
    void ExchangeEvents(std::int32_t a, std::int32_t b) {
        if (a == b) return;
        if (!InRange(a) || !InRange(b)) {
            ReportError(kTrackInternalError);
            return;
        }
        MusicEvent& first = events[static_cast<std::size_t>(a)];
        MusicEvent& second = events[static_cast<std::size_t>(b)];
        first.Swap(second);
        std::swap(first.delta, second.delta);
    }
    // The two events trade places together with their deltas.
    void SwapEvents(std::int32_t a, std::int32_t b) {
        if (a == b) return;
        if (!InRange(a) || !InRange(b)) {
            ReportError(kTrackInternalError);
            return;
        }
        events[static_cast<std::size_t>(a)].Swap(events[static_cast<std::size_t>(b)]);
    }
    // mode 2: before index; any other mode: after it.
    void InsertEvent(std::int32_t index, std::int32_t mode, MusicEvent event);

    // Conversions between the two forms, and the removal of marked events.
    void ToNoteForm();
    void ToEventForm();
    void DropMarked();

    // Writing: the three reorderings of simultaneous events, then the chunk.
    // Returns whether the list holds any exclusive event (whose reordering
    // comes next).
    bool SortSimultaneous();
    void RaiseSysex();
    void OffsBeforeOns();
    // Refuses (and writes nothing) unless the list is complete: in event form
    // and closed by an End of Track. Afterwards state is 0 when it wrote.
    void WriteTrack();
    // The bytes of one event without its delta; returns their number, or -1
    // when the event has no bytes (reported once per track written).
    std::int32_t EncodeEvent(const MusicEvent& event, std::vector<std::uint8_t>& out) const;
    std::int32_t EncodeMeta(const MusicEvent& event, std::vector<std::uint8_t>& out) const;

    // Merges other into this track by time; both in note form.
    void MergeTrack(const MidiTrackData& other);
    // Merges every track into this one, the last first, with the events and
    // the reports of one MergeTrack call per track in that order.
    void MergeTracks(const std::vector<const MidiTrackData*>& tracks);

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
    std::uint8_t ChunkByte(std::int64_t offset) const { return offset < size ? At(offset) : 0; }
    void ParseNextEvent();
    bool ReadShortChannelEvent();
    std::int32_t DecodeChannelMessage(MusicEvent& event, std::int32_t status, std::int32_t d1, std::int32_t d2) const;
    std::uint32_t ReadVarLen(std::int64_t& position) const;
    void ParseMessage(MusicEvent& event);
    std::int64_t DecodeMessage(MusicEvent& event, std::int32_t status, std::int64_t dataStart) const;
    std::int64_t DecodeMeta(MusicEvent& event, std::int64_t dataStart) const;
    std::int64_t DecodeFixedMeta(MusicEvent& event, std::int64_t dataStart) const;
    std::int64_t DecodeTextMeta(MusicEvent& event, std::int64_t dataStart) const;
    std::int64_t DecodeSysEx(MusicEvent& event, std::int64_t dataStart) const;
    std::int64_t DecodeEscape(MusicEvent& event, std::int64_t dataStart) const;
    static void ClassifySysEx(MusicEvent& event);
    bool ListFull() const { return count() >= kTrackCapacity; }
    // Whether the writer has shown, for the track it is writing, that some
    // events have no bytes: a piece can hold thousands of them.
    mutable bool undefinedReported_ = false;
    bool InRange(std::int32_t index) const { return index >= 0 && index < count(); }
    void AddDeltaToNext(std::int32_t index);
    // Returns the index of the first End of Track afterwards (the list's size when none).
    std::size_t PlaceNoteOffsByTime(std::size_t notes);
    void PlaceNoteOffsOneByOne();
    void MoveEndOfTrackLast(std::size_t from);  // no End of Track stands before from
    bool MergeAllAtOnce(const std::vector<const MidiTrackData*>& tracks);
};

}  // namespace solvane
