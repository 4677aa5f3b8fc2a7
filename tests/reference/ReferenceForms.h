#pragma once
// The list algorithms of the core in their first, plain form: walks that
// search, insert and remove one event at a time, and merges that copy both
// tracks. Slow (quadratic at worst) but easy to check against the design;
// the tests hold the core's fast versions to them field for field and report
// for report. They use only the public list operations of the core that
// they always used (RemoveAt, InsertEvent, Append, ExchangeEvents, ...).

#include <cstdint>
#include <memory>
#include <string>

#include "song/MidiF0Data.h"
#include "song/MidiF1Data.h"
#include "track/MidiTrackData.h"

namespace solvane::reference {

// Track operations.
void ToNoteForm(MidiTrackData& track);
void DropMarked(MidiTrackData& track);
void ToEventForm(MidiTrackData& track);
void KeepLastEndOfTrack(MidiTrackData& track);
void MergeTrack(MidiTrackData& track, const MidiTrackData& other);
void SortSimultaneous(MidiTrackData& track);
void RaiseSysex(MidiTrackData& track);
void OffsBeforeOns(MidiTrackData& track);

// Song operations, with the song's own state checks.
void ToNoteForm(MidiF0Data& song);
void ToEventForm(MidiF0Data& song);
void ReverseHorizontal(MidiF0Data& song);
void ShiftProgramChanges(MidiF0Data& song);
void ReverseVertical(MidiF0Data& song);
void WriteSmf(MidiF0Data& song);

// The loader's steps: the file read for its format, the song or the
// format-1 reader, the split, and the merge of every track, last first.
struct Loaded {
    std::int32_t size = 0;
    std::unique_ptr<MidiF0Data> song;
};
Loaded Load(const std::string& path);

}  // namespace solvane::reference
