#pragma once
// The one way from a loaded song to what Save writes, Play plays, a render
// sounds and a picture shows: event form, the time mirror (with the musical
// step when asked), then the pitch inversion. Every caller takes its song
// from here, so that what is heard, seen and saved can never differ.

#include <memory>

#include "song/MidiF0Data.h"

namespace solvane {

// What the boxes ask for.
struct Reversals {
    bool horizontal = false;
    bool vertical = false;
    // With the time mirror: tempo, pedals, bends and controllers move with
    // the passage they governed (transform/KeepPassages.h).
    bool musical = false;
};

// Reverses a song in event form as asked.
void Reverse(MidiF0Data& eventForm, Reversals reversals);

// Turns a song in note form into the transformed song in event form, in
// place (for callers that have no further use for the loaded song).
void ApplyReversals(MidiF0Data& song, Reversals reversals);

// The transformed song in event form, as the writer takes it; the loaded
// song is left as it was.
std::unique_ptr<MidiF0Data> TransformedCopy(const MidiF0Data& loaded, Reversals reversals);

// The transformed song in note form, as the player takes it.
std::unique_ptr<MidiF0Data> PlayableCopy(const MidiF0Data& loaded, Reversals reversals);

}  // namespace solvane
