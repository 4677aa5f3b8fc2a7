#pragma once
// What a piano roll shows of a song: every note with the times at which a
// play sends its note-on and note-off, and the bar lines. The times come
// from the play's own walk over the song, run on a virtual clock, so that
// what is seen is what is heard (pre-roll, System On, tempo rules and the
// timer's rounding included). Plain values, owned by whoever asked.

#include <cstdint>
#include <vector>

namespace solvane {

class MidiF0Data;

inline constexpr int kDrumChannel = 9;

struct RollNote {
    std::int64_t start = 0;  // microseconds since the output was opened
    std::int64_t end = 0;
    std::uint8_t key = 0;
    std::uint8_t channel = 0;
    std::uint8_t velocity = 0;
};

struct RollLayout {
    std::vector<RollNote> notes;      // by start time
    std::vector<std::int64_t> bars;   // the time of each bar line
    // The time the walk sent each event of the played copy (PrepareForPlay's),
    // by its index, -1 for one never sent: the sequencer's position to a time.
    std::vector<std::int64_t> eventTimes;
    std::int64_t length = 0;          // when the last event was sent
    int lowKey = 60;                  // the range of keys the notes use
    int highKey = 71;
};

// The time of each event of prepared (as PrepareForPlay makes it) when the
// sequencer walks it on a virtual clock.
std::vector<std::int64_t> WalkEventTimes(MidiF0Data& prepared);

// The roll of a song in note form as Play takes it (PlayableCopy's).
// Reports of the walk go to the installed sink, as a play's would.
RollLayout LayOutRoll(const MidiF0Data& playable);

// The event index a play has reached, as MusicPlayer::sent counts it, to the
// time of the last event sent then; -1 before the first.
std::int64_t TimeOfSent(const RollLayout& layout, std::int32_t sent);

}  // namespace solvane
