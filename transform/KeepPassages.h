#pragma once
// The musical step after the time mirror, on a track in event form: state
// changes (tempo, controllers, pitch bend) move to the start of the passage
// they governed, so every passage of the reversed piece plays at the tempo
// and with the pedals, bends and volumes it had. Standard library only.

#include <cstdint>

#include "track/MidiTrackData.h"

namespace solvane {

// The tempo a play keeps until the first tempo event, in microseconds per
// quarter note: the mirror of a piece's opening needs it back.
inline constexpr std::int32_t kPlayerStartTempo = 250000;

// Works on a list the time mirror has just turned around. Each tempo event,
// and each controller (but the parameter numbers, their data entry and the
// channel mode messages) and pitch bend of a channel, moves to the place of
// the previous change of its kind, the last one of the input to the front;
// where the input's first change of a kind was, the kind's state before it
// comes back (the player's start tempo, the controllers' power-on values),
// unless that place is the end of the piece. Parameter settings go to the
// front in their order, so each channel starts with the parameters it had at
// the end. The End of Track keeps its time. Adds at most one event per kind
// and never grows the list past kTrackCapacity (those states are then left
// out). false, with nothing changed, when the list does not end with an End
// of Track.
//
// grid is how many ticks of the track make one tick of the play, and first
// the time the input's first event had: the reversed piece then starts up to
// grid - 1 ticks late, so that the play's rounding puts every moment on the
// mirror of the input's and no two waits come out rounded differently.
bool KeepPassages(MidiTrackData& track, std::int64_t grid = 1, std::int64_t first = 0);

// How many ticks of a song's division make one tick of the play (96 to a
// quarter note), where that is a whole number; else 1.
std::int64_t PlayGrid(std::int32_t division);

}  // namespace solvane
