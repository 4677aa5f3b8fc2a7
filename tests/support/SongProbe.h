#pragma once
// Songs built in code and event lists looked at by absolute time: the events
// with their times, the notes of a track as a sorted list, and the dialog's
// Load and Save steps as one call each. Events themselves are built with
// TrackFixtures.

#include <compare>
#include <cstdint>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "song/MidiF0Data.h"
#include "song/MidiFileLoader.h"
#include "tests/support/SmfBuilder.h"
#include "tests/support/TrackFixtures.h"
#include "track/MidiTrackData.h"
#include "track/MusicEvent.h"

namespace solvane::test {

// One event of a list with its absolute time and the fields the tests compare.
struct TimedEvent {
    std::int64_t time = 0;
    std::int32_t type = 0;
    std::int32_t channel = 0;
    std::int32_t key = 0;
    std::int32_t velocity = 0;
    std::int32_t subtype = 0;
    std::int32_t value = 0;
    std::int32_t duration = 0;
    bool operator==(const TimedEvent&) const = default;
};
std::ostream& operator<<(std::ostream& out, const TimedEvent& event);

std::vector<TimedEvent> TimedEvents(const MidiTrackData& track);

// Just the time, kind, channel and key of each event, for short expectations.
struct Brief {
    std::int64_t time = 0;
    std::int32_t type = 0;
    std::int32_t channel = 0;
    std::int32_t key = 0;
    bool operator==(const Brief&) const = default;
};
std::ostream& operator<<(std::ostream& out, const Brief& brief);

std::vector<Brief> Briefly(const MidiTrackData& track);

// One sounding note, whichever form its track is in.
struct Note {
    std::int32_t channel = 0;
    std::int32_t key = 0;
    std::int64_t start = 0;
    std::int64_t duration = 0;
    auto operator<=>(const Note&) const = default;
};
std::ostream& operator<<(std::ostream& out, const Note& note);

// The notes of a track in note form, or of one in event form with each
// note-on closed by the first later note-off of its channel and key. Sorted.
std::vector<Note> Notes(const MidiTrackData& track);

// A song in the given state whose track holds events (state 1 or 2).
std::unique_ptr<MidiF0Data> SongOf(std::int32_t state, std::vector<MusicEvent> events, std::int32_t division = 96);

// The dialog's Load: the loader reads the file, then builds the song when
// something was read.
std::unique_ptr<MidiFileLoader> LoadAsTheDialogDoes(const std::string& path);

// The dialog's Save on a loaded song: copy, event form, the ticked
// reversals, writing. Returns the bytes Save would write: none when the
// writer found no complete track.
Bytes SaveAsBytes(const MidiF0Data& loaded, bool horizontal, bool vertical);

}  // namespace solvane::test
