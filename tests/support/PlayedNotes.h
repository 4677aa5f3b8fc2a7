#pragma once
// What a play of a song sounds like, note by note, taken from the player's
// own walk (WalkMessages, as the render takes it): each note's channel, key,
// velocity, start and length in microseconds, and the state of its channel
// (pedals, bend, volume) when it starts and when it ends. No tick is turned
// into time here: the times are the walk's.

#include <compare>
#include <cstdint>
#include <ostream>
#include <set>
#include <vector>

#include "platform/AudioRender.h"

namespace solvane {
class MidiF0Data;
}

namespace solvane::test {

// A channel's state as the messages sent so far set it, from the values
// General MIDI System On gives.
struct ChannelState {
    std::int32_t sustain = 0;
    std::int32_t sostenuto = 0;
    std::int32_t soft = 0;
    std::int32_t bend = 0x2000;
    std::int32_t volume = 100;
    std::int32_t expression = 127;
    auto operator<=>(const ChannelState&) const = default;
};
std::ostream& operator<<(std::ostream& out, const ChannelState& state);

struct PlayedNote {
    std::int32_t channel = 0;
    std::int32_t key = 0;
    std::int32_t velocity = 0;
    std::int64_t start = 0;   // microseconds since the first note began
    std::int64_t length = 0;  // microseconds
    ChannelState atStart;     // after every message of its start's moment
    ChannelState atEnd;       // before any message of its end's moment
    // Another note of its channel and key sounds while it does: which
    // note-off ends which of them is a guess, forwards and backwards alike.
    bool overlapped = false;
};
std::ostream& operator<<(std::ostream& out, const PlayedNote& note);

struct Played {
    std::vector<PlayedNote> notes;  // by start, then channel and key
    // From the first note's start to the last note's end, in microseconds.
    std::int64_t span = 0;
    // Channels that got a Reset All Controllers once notes had begun.
    std::set<std::int32_t> resetChannels;
};

// The notes of a walk's messages.
Played PlayedOf(const std::vector<TimedMessage>& messages);
// The notes of a play of song (note form, transformed as for Play).
Played PlayedOf(const MidiF0Data& song);

// One tick of the play (96 to a quarter note) at the slowest tempo song
// asks the player for, in microseconds: how far apart two times the walk
// rounds differently can come out.
std::int64_t SlowestTick(const MidiF0Data& song);

}  // namespace solvane::test
