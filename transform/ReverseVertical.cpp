// Turning the melody upside down: each channel's notes are inverted about an
// octave key near the middle of that channel's range. The drum channel is
// left alone, since its keys are instruments, not pitches.

#include <algorithm>

#include "song/MidiF0Data.h"

namespace solvane {
namespace {

constexpr std::int32_t kDrumChannel = 9;

bool IsNoteEvent(const MusicEvent& event) { return event.type == kTypeNoteOn || event.type == kTypeNoteOff; }

}  // namespace

void MidiF0Data::ReverseVertical() {
    for (std::int32_t channel = 0; channel < 16; ++channel) {
        if (channel == kDrumChannel) continue;
        std::int32_t low = 127;
        std::int32_t high = 0;
        for (const MusicEvent& event : track->events) {
            if (!IsNoteEvent(event) || event.channel != channel) continue;
            high = std::max(high, event.key);
            low = std::min(low, event.key);
        }
        // Twice the multiple of 12 at or below the middle of the range.
        const std::int32_t axis = 24 * ((low + high) / 24);
        for (MusicEvent& event : track->events) {
            if (!IsNoteEvent(event) || event.channel != channel) continue;
            event.key = std::clamp(axis - event.key, 0, 127);
        }
    }
}

}  // namespace solvane
