#include "cli/SongFacts.h"

#include <algorithm>

#include "cli/PlayedLength.h"
#include "song/MidiF0Data.h"
#include "song/MidiF1Data.h"
#include "song/MidiFileLoader.h"
#include "support/Messages.h"
#include "track/MidiTrackData.h"
#include "track/MusicEvent.h"

namespace solvane::cli {
namespace {

constexpr std::int32_t kMetaTrackName = 0x03;

// The first track name event of each track of the multi-track form, which
// for a format-0 file holds every meta event in its first track.
std::vector<TrackName> TrackNames(const MidiF1Data& reader) {
    std::vector<TrackName> names;
    for (std::int32_t k = 0; k < reader.trackCount; ++k) {
        if (!reader.tracks[static_cast<std::size_t>(k)]) continue;
        for (const MusicEvent& event : reader.tracks[static_cast<std::size_t>(k)]->events) {
            if (event.type != kTypeMeta || event.subtype != kMetaTrackName) continue;
            const auto length = static_cast<std::size_t>(std::max(event.length, 0));
            names.push_back({k + 1, std::string(event.data.begin(), event.data.begin() + std::min(length, event.data.size()))});
            break;
        }
    }
    return names;
}

}  // namespace

std::optional<double> StandardSeconds(const std::vector<TempoChange>& tempos, int division, std::int64_t endTick) {
    if (division <= 0) return std::nullopt;
    if ((division & 0x8000) != 0) {
        // SMPTE time: the high byte is minus the frames a second (29 meaning 29.97), the low byte ticks a frame.
        const int frames = 256 - (division >> 8);
        const int ticksPerFrame = division & 0xFF;
        if (ticksPerFrame == 0) return std::nullopt;
        const double perSecond = (frames == 29 ? 30000.0 / 1001.0 : frames) * ticksPerFrame;
        return static_cast<double>(endTick) / perSecond;
    }
    double seconds = 0;
    std::int64_t from = 0;
    double microseconds = 500000;
    for (const TempoChange& tempo : tempos) {
        seconds += static_cast<double>(tempo.tick - from) * microseconds / division / 1e6;
        from = tempo.tick;
        microseconds = tempo.microseconds;
    }
    return seconds + static_cast<double>(endTick - from) * microseconds / division / 1e6;
}

std::optional<SongFacts> DescribeFile(const std::string& path, bool& loadErrors) {
    const std::uint64_t errorsBefore = ErrorsReported();
    MidiFileLoader loader(path);
    loadErrors = ErrorsReported() != errorsBefore;
    if (loader.size == 0) return std::nullopt;
    SongFacts facts;
    facts.format = loader.raw.empty() ? -1 : MidiF0Data::DetectFormat(loader.raw.data(), loader.size);
    facts.tracks = facts.format == 0 ? 1 : loader.reader ? loader.reader->trackCount : 0;
    if (loader.reader) facts.trackNames = TrackNames(*loader.reader);
    loader.BuildSong();
    loadErrors = ErrorsReported() != errorsBefore;
    if (!loader.song) return std::nullopt;
    const MidiF0Data& song = *loader.song;
    facts.division = song.division;
    facts.events = song.track->count();
    std::int64_t time = 0;
    for (const MusicEvent& event : song.track->events) {
        time += event.delta;
        std::int64_t end = time;
        if (event.type == kTypeNote) {
            ++facts.notesPerChannel[event.channel];
            end += event.duration;
        }
        if (event.type == kTypeMeta && event.subtype == kMetaTempo) facts.tempos.push_back({time, event.value});
        facts.lengthTicks = std::max(facts.lengthTicks, end);
    }
    facts.standardSeconds = StandardSeconds(facts.tempos, facts.division, facts.lengthTicks);
    facts.played = PlayedLength(song);
    return facts;
}

}  // namespace solvane::cli
