#pragma once
// Playing a track back to front: the reversal behind the Horizontal Reverse
// box, on a track in event form. The song's ReverseHorizontal checks the
// song's state and reports; these work on the list alone.

#include "track/MidiTrackData.h"

namespace solvane {

// Mirrors the events before the End of Track in time, each note keeping its
// length, then shifts the program changes. false, with nothing changed, when
// the list does not end with an End of Track.
bool ReverseHorizontal(MidiTrackData& track);

// Moves each program change to the place of its channel's previous one (the
// first to the front), so each again stands before the passage it governed.
void ShiftProgramChanges(MidiTrackData& track);

}  // namespace solvane
