#pragma once
// Turning each channel's melody upside down: the reversal behind the
// Vertical Reverse box, on a track in event form.

#include "track/MidiTrackData.h"

namespace solvane {

// Inverts every note of each channel but the drum channel about an octave
// key near the middle of that channel's range; reports nothing.
void ReverseVertical(MidiTrackData& track);

}  // namespace solvane
