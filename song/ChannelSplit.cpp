// The multi-track form of a song in note form: one track per channel, as
// the loader makes it of a format-0 file before merging the tracks again.

#include <cstddef>
#include <cstdint>

#include "song/MidiF0Data.h"
#include "song/MidiF1Data.h"

namespace solvane {

namespace {

// Events without a channel go with channel 0.
std::size_t ChannelTrack(const MusicEvent& event) {
    return event.channel >= 0 && event.channel < 16 ? static_cast<std::size_t>(event.channel) : 0;
}

}  // namespace

MidiF1Data::MidiF1Data(const MidiF0Data& song) {
    if (song.state != kStateNoteForm) {
        ReportError(kF1InternalError);
        return;
    }
    division = song.division;
    for (std::int32_t k = 0; k < 16; ++k) {
        tracks[static_cast<std::size_t>(k)].emplace(kStateNoteForm);
    }
    trackCount = 16;
    std::size_t sizes[16] = {};
    std::size_t ends = 0;
    for (const MusicEvent& event : song.track->events) {
        if (event.IsEndOfTrack()) {
            ++ends;
        } else {
            ++sizes[ChannelTrack(event)];
        }
    }
    for (std::size_t k = 0; k < 16; ++k) tracks[k]->events.reserve(sizes[k] + ends);
    // Each channel track measures its deltas from its own previous event:
    // the sum of the song's deltas since then, that is the difference of the
    // two times (which the song's length bounds).
    std::int64_t time = 0;
    std::int64_t previous[16] = {};
    for (const MusicEvent& event : song.track->events) {
        time += event.delta;
        if (event.IsEndOfTrack()) {
            for (std::size_t k = 0; k < 16; ++k) {
                tracks[k]->AppendEndOfTrack(static_cast<std::int32_t>(time - previous[k]));
                previous[k] = time;
            }
            continue;
        }
        const std::size_t k = ChannelTrack(event);
        if (tracks[k]->Append(event)) tracks[k]->events.back().delta = static_cast<std::int32_t>(time - previous[k]);
        previous[k] = time;
    }
    state = kStateNoteForm;
}

}  // namespace solvane
