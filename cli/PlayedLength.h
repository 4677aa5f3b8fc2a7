#pragma once
// How long a play of a song lasts, taken from the sequencer itself: Play's
// copy of the song walked by the player on a virtual clock, so that every
// rule of its timing (240 a minute until a tempo event, the pre-roll and
// its pause, the trimmed leading bars, each wait rounded to whole
// milliseconds) counts exactly as it does when the song is heard.

#include <chrono>
#include <optional>

namespace solvane {
class MidiF0Data;
}

namespace solvane::cli {

// From the System On until the player is done with the last event, for a
// song in note form (the loaded song); none when the play would stall at
// its start (a first tempo too fast for the timer). The reports the play
// would make are not shown: they are the play's, not the loaded file's.
std::optional<std::chrono::milliseconds> PlayedLength(const MidiF0Data& song);

}  // namespace solvane::cli
