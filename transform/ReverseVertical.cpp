// Turning the melody upside down: each channel's notes are inverted about an
// octave key near the middle of that channel's range. The drum channel is
// left alone, since its keys are instruments, not pitches.

#include "transform/ReverseVertical.h"

#include <algorithm>
#include <cstddef>
#include <iterator>

namespace solvane {
namespace {

constexpr std::int32_t kDrumChannel = 9;

bool IsNoteEvent(const MusicEvent& event) { return event.type == kTypeNoteOn || event.type == kTypeNoteOff; }

}  // namespace

void ReverseVertical(MidiTrackData& track) {
    // Each channel's range is taken from its own notes and only its own notes
    // change, so all ranges can be taken in one walk and all keys set in another.
    constexpr std::size_t kChannels = 16;
    std::int32_t low[kChannels];
    std::int32_t high[kChannels];
    std::fill(std::begin(low), std::end(low), 127);
    std::fill(std::begin(high), std::end(high), 0);
    auto inverted = [](const MusicEvent& event) {
        return IsNoteEvent(event) && event.channel >= 0 && event.channel < 16 && event.channel != kDrumChannel;
    };
    for (const MusicEvent& event : track.events) {
        if (!inverted(event)) continue;
        const auto c = static_cast<std::size_t>(event.channel);
        high[c] = std::max(high[c], event.key);
        low[c] = std::min(low[c], event.key);
    }
    for (MusicEvent& event : track.events) {
        if (!inverted(event)) continue;
        const auto c = static_cast<std::size_t>(event.channel);
        // Twice the multiple of 12 at or below the middle of the range.
        const std::int32_t axis = 24 * ((low[c] + high[c]) / 24);
        event.key = std::clamp(axis - event.key, 0, 127);
    }
}

}  // namespace solvane
