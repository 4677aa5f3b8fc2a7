#pragma once
// Songs for the playback tests, built in code at division 96.

#include <memory>
#include <vector>

#include "song/MidiF0Data.h"
#include "tests/support/TrackFixtures.h"

namespace solvane::test {

inline std::unique_ptr<MidiF0Data> SongOf(std::int32_t state, std::vector<MusicEvent> events,
                                          std::int32_t division = 96) {
    auto song = std::make_unique<MidiF0Data>(state);
    song->division = division;
    for (MusicEvent& event : events) song->track->Append(std::move(event));
    return song;
}

}  // namespace solvane::test
