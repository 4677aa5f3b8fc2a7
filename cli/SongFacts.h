#pragma once
// What info tells of a file: what was loaded (format, tracks, division,
// events, notes per channel, length in ticks), how long it plays, its tempo
// events and its track names.

#include <chrono>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace solvane::cli {

struct TempoChange {
    std::int64_t tick = 0;  // in the file's division
    std::int32_t microseconds = 0;  // a quarter note
};

struct TrackName {
    int track = 0;  // from 1, in the file's order
    std::string text;  // the bytes of the file's first track name event
};

struct SongFacts {
    int format = 0;
    int tracks = 0;
    int division = 0;
    int events = 0;
    std::map<int, int> notesPerChannel;  // channel from 0
    std::int64_t lengthTicks = 0;
    // As this program plays it; none when the play would stall at its start.
    std::optional<std::chrono::milliseconds> played;
    // As a player that starts at 120 a minute and follows the file's tempo
    // events exactly; none when the division gives no time.
    std::optional<double> standardSeconds;
    std::vector<TempoChange> tempos;
    std::vector<TrackName> trackNames;
};

// Loads the file as the window does and describes it; none when nothing was
// loaded. loadErrors tells whether the load reported an error (the walk that
// times the play reports nothing).
std::optional<SongFacts> DescribeFile(const std::string& path, bool& loadErrors);

// The standard player's rule: 500,000 microseconds a quarter until a tempo
// event, each tempo event exact from its tick; a division with the top bit
// set counts frames a second and ticks a frame instead, and no tempo counts.
std::optional<double> StandardSeconds(const std::vector<TempoChange>& tempos, int division, std::int64_t endTick);

}  // namespace solvane::cli
