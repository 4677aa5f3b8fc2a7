#include "song/MidiF1Data.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <limits>
#include <vector>

#include "song/MidiF0Data.h"
#include "support/General.h"
#include "support/Messages.h"

namespace solvane {

void MidiF1Data::ReportError(std::uint32_t code) const { ReportModuleError(Module::kMidiF1Data, code); }

MidiF1Data::MidiF1Data(const std::string& path) {
    LoadFromFile(path);
    state = kStateImage;
    if (ReadHeader() != 0) {
        ReadTracks();
        ConvertTracks();
    }
}

int MidiF1Data::ReadHeader() {
    MidiTrackData::ResetRunningStatus();  // a new file
    if (size == 0) return 0;
    if (std::memcmp(Bytes(), "MThd", 4) != 0) {
        std::uint8_t* bytes = MutableBytes();
        if (bytes == nullptr || StripMacBinaryHeader(bytes, "MThd", size) == 0) {
            ReportError(kF1NoHeader);
            return 0;
        }
    }
    cursor = 8;  // the header is taken to be 6 bytes long, whatever its length says
    if (At(cursor) != 0 || At(cursor + 1) != 1) {
        ReportError(kF1NotFormat1);
        return 0;
    }
    cursor += 2;
    trackCount = (At(cursor) << 8) | At(cursor + 1);
    if (trackCount > kMaxTracks) {
        // The warning names 16, and 16 tracks are read, though 17 to 33 are
        // read as declared: the file's count is often wrong.
        ReportError(kF1TooManyTracks);
        trackCount = 16;
    }
    cursor += 2;
    division = (At(cursor) << 8) | At(cursor + 1);
    cursor += 2;
    return 1;
}

void MidiF1Data::ReadTracks() {
    if (state != kStateImage) {
        ReportError(kF1InternalError);
        return;
    }
    for (std::int32_t k = 0; k < trackCount; ++k) {
        tracks[static_cast<std::size_t>(k)] = std::make_unique<MidiTrackData>(size, cursor, Bytes());
        cursor += tracks[static_cast<std::size_t>(k)]->size;
    }
    state = kStateEventForm;
}

void MidiF1Data::ConvertTracks() {
    if (state != kStateEventForm) {
        ReportError(kF1InternalError);
        return;
    }
    for (std::int32_t k = 0; k < trackCount; ++k) {
        MidiTrackData& track = *tracks[static_cast<std::size_t>(k)];
        // A chunk that could not be read was reported when it was read; its
        // empty track has nothing to convert and merges as nothing.
        if (track.state == kStateEmpty && track.events.empty()) {
            track.state = kStateNoteForm;
        } else {
            track.ToNoteForm();
        }
    }
    state = kStateNoteForm;
}

namespace {

std::size_t ChannelTrack(const MusicEvent& event) {
    return event.channel >= 0 && event.channel < 16 ? static_cast<std::size_t>(event.channel) : 0;
}

bool Oversized(const MusicEvent& event) { return event.length > kEventDataBlock; }

// Stable, by channel track, through a buffer: each event is moved twice,
// where moving each back to its place would move it once for every event
// it passes (a chord of a band is often a dozen channels in no order).
void SortByChannel(MusicEvent* first, MusicEvent* last, std::vector<MusicEvent>& buffer) {
    std::array<std::size_t, 17> next{};
    for (const MusicEvent* event = first; event < last; ++event) ++next[ChannelTrack(*event) + 1];
    for (std::size_t k = 1; k < 16; ++k) next[k] += next[k - 1];
    const auto count = static_cast<std::size_t>(last - first);
    if (buffer.size() < count) buffer.resize(count);
    for (MusicEvent* event = first; event < last; ++event) buffer[next[ChannelTrack(*event)]++] = std::move(*event);
    std::move(buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(count), first);
}

}  // namespace

MidiF1Data::MidiF1Data(const MidiF0Data& song) {
    if (song.state != kStateNoteForm) {
        ReportError(kF1InternalError);
        return;
    }
    division = song.division;
    for (std::int32_t k = 0; k < 16; ++k) {
        tracks[static_cast<std::size_t>(k)] = std::make_unique<MidiTrackData>(kStateNoteForm);
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
    // two times.
    // A channel silent for longer than a delta can hold (weeks at any tempo)
    // comes back as late as a delta allows, not at a wrapped, negative time.
    std::int64_t time = 0;
    std::int64_t previous[16] = {};
    bool tooLong = false;
    // The End of Track of a channel silent to the end may stay early: the
    // merge keeps the latest one.
    auto gap = [&](std::size_t k, bool end) {
        const std::int64_t since = time - previous[k];
        if (since <= std::numeric_limits<std::int32_t>::max()) return static_cast<std::int32_t>(since);
        tooLong = tooLong || !end;
        return std::numeric_limits<std::int32_t>::max();
    };
    for (const MusicEvent& event : song.track->events) {
        time += event.delta;
        if (event.IsEndOfTrack()) {
            for (std::size_t k = 0; k < 16; ++k) {
                tracks[k]->AppendEndOfTrack(gap(k, true));
                previous[k] = time;
            }
            continue;
        }
        const std::size_t k = ChannelTrack(event);
        const std::int32_t delta = gap(k, false);
        if (tracks[k]->count() < kTrackCapacity) {
            tracks[k]->events.emplace_back(event).delta = delta;
        } else {
            MusicEvent copy(event);
            copy.delta = delta;
            tracks[k]->Append(std::move(copy));  // reports that the list is full
        }
        previous[k] = time;
    }
    if (tooLong) tracks[0]->ReportError(kTrackInternalError);
    state = kStateNoteForm;
}

// Split and merge back, each event is copied twice and comes out in time
// order, of equal times in channel-track order and otherwise in its own. The
// one End of Track, last, goes to every channel track and the merge keeps
// that of the last track. Nothing is reported on the way when no record is
// oversized (their copies report), the list has room for the 16 Ends of
// Track, and no track lasts longer than a delta can hold. Under just these
// conditions the list is changed in place.
bool MidiF1Data::MergeChannelsInPlace(MidiTrackData& track) {
    std::vector<MusicEvent>& events = track.events;
    if (track.state != kStateNoteForm || events.empty()) return false;
    if (events.size() + 15 > static_cast<std::size_t>(kTrackCapacity)) return false;
    if (!events.back().IsEndOfTrack() || Oversized(events.back()) || events.back().delta < 0) return false;
    const std::size_t last = events.size() - 1;
    std::int64_t time = events.back().delta;
    std::size_t previousTrack = 0;
    bool inOrder = true;
    bool trimmed = true;
    for (std::size_t i = 0; i < last; ++i) {
        const MusicEvent& event = events[i];
        if (event.delta < 0 || event.IsEndOfTrack() || Oversized(event)) return false;
        time += event.delta;
        const std::size_t k = ChannelTrack(event);
        if (event.delta == 0 && k < previousTrack) inOrder = false;
        previousTrack = k;
        // A copy holds only the first length bytes.
        trimmed = trimmed && event.data.size() <= static_cast<std::size_t>(std::max(event.length, 0));
    }
    if (time > std::numeric_limits<std::int32_t>::max()) return false;

    if (!trimmed) {
        for (std::size_t i = 0; i < last; ++i) {
            MusicEvent& event = events[i];
            const auto kept = static_cast<std::size_t>(std::max(event.length, 0));
            if (event.data.size() > kept) event.data.resize(kept);
        }
    }
    if (!inOrder) {
        std::vector<MusicEvent> buffer;
        for (std::size_t begin = 0; begin < last;) {
            std::size_t end = begin + 1;
            bool sorted = true;
            for (; end < last && events[end].delta == 0; ++end) {
                sorted = sorted && ChannelTrack(events[end - 1]) <= ChannelTrack(events[end]);
            }
            if (!sorted) {
                // Only the first event of a run of equal times is apart from the one before.
                const std::int32_t delta = events[begin].delta;
                events[begin].delta = 0;
                SortByChannel(&events[begin], &events[end], buffer);
                events[begin].delta = delta;
            }
            begin = end;
        }
    }
    events.back() = MidiTrackData::EndOfTrack(events.back().delta);
    return true;
}

namespace {

std::int64_t CountOversized(const std::vector<MusicEvent>& events) {
    return std::count_if(events.begin(), events.end(), Oversized);
}

// The merge was defined on copies of both tracks, made first and destroyed
// last: every oversized record of a copy reported when the copy went, and so
// did this track's own records when it was cleared. The merges below keep no
// such copies and move this track's records, so they give those reports
// themselves.
void ReportDropped(std::int64_t oversized) {
    for (std::int64_t r = 0; r < oversized; ++r) ReportModuleError(Module::kMusicEvent, kEventDataTooLarge);
}

// A record as Append received it: a copy holds only the first length bytes.
void KeepCopiedBytes(MusicEvent& event) {
    const auto kept = std::min<std::size_t>(event.data.size(), static_cast<std::size_t>(std::max(event.length, 0)));
    event.data.resize(kept);
}

}  // namespace

void MidiTrackData::MergeTrack(const MidiTrackData& other) {
    // A track that is not in note form copies as nothing, with a report.
    const bool mineCopied = state == kStateNoteForm;
    if (!mineCopied) ReportError(kTrackInternalError);
    const bool theirsCopied = other.state == kStateNoteForm;
    if (!theirsCopied) ReportError(kTrackInternalError);
    static const std::vector<MusicEvent> kNone;
    std::vector<MusicEvent> theirsIfMine;
    const std::vector<MusicEvent>* theirs = theirsCopied ? &other.events : &kNone;
    if (&other == this && theirsCopied) {
        theirsIfMine = other.events;
        theirs = &theirsIfMine;
    }
    // This track's records go into the result themselves instead of through
    // a copy; clearing the track destroyed them (with their reports).
    std::vector<MusicEvent> mine = std::move(events);
    events.clear();
    const std::int64_t mineOversized = mineCopied ? CountOversized(mine) : 0;
    if (mineCopied) {
        ReportDropped(mineOversized);
    } else {
        mine.clear();
    }
    events.reserve(std::min(mine.size() + theirs->size(), static_cast<std::size_t>(kTrackCapacity)));
    // Append on a full list reports and drops the copy it was handed.
    auto appendTheirs = [this](const MusicEvent& event, std::int32_t delta) {
        if (ListFull()) {
            ReportError(kTrackTooMuchData);
            if (Oversized(event)) event.ReportError(kEventDataTooLarge);
            return;
        }
        events.push_back(event);
        events.back().delta = delta;
    };
    auto appendMine = [this](MusicEvent& event) {
        if (ListFull()) {
            ReportError(kTrackTooMuchData);
            MusicEvent dropped = std::move(event);
            return;
        }
        KeepCopiedBytes(event);
        events.push_back(std::move(event));
    };
    std::size_t i = 0;
    std::size_t j = 0;
    std::int32_t theirDelta = i < theirs->size() ? (*theirs)[0].delta : 0;  // shortened as the merge goes
    // At equal times the merged-in track's events come first.
    while (i < theirs->size() || j < mine.size()) {
        if (j >= mine.size() || (i < theirs->size() && mine[j].delta >= theirDelta)) {
            if (j < mine.size()) mine[j].delta = static_cast<std::int32_t>(std::int64_t{mine[j].delta} - theirDelta);
            appendTheirs((*theirs)[i], theirDelta);
            ++i;
            if (i < theirs->size()) theirDelta = (*theirs)[i].delta;
        } else {
            if (i < theirs->size()) theirDelta = static_cast<std::int32_t>(std::int64_t{theirDelta} - mine[j].delta);
            appendMine(mine[j]);
            ++j;
        }
    }
    KeepLastEndOfTrack();
    // A copy of this very track was made above and reports by itself.
    const bool theirsReportThemselves = theirs == &theirsIfMine;
    ReportDropped((theirsCopied && !theirsReportThemselves ? CountOversized(*theirs) : 0) + mineOversized);
}

void MidiTrackData::MergeTracks(const std::vector<const MidiTrackData*>& tracks) {
    if (MergeAllAtOnce(tracks)) return;
    for (auto track = tracks.rbegin(); track != tracks.rend(); ++track) MergeTrack(**track);
}

// When nothing can go wrong on the way, the merges one after the other come
// to one merge of all tracks by time, in one pass. That holds when this
// track is empty, every track is in note form, no delta is negative, no
// track lasts longer than a delta can hold (so no sum is ever narrowed) and
// all events fit one list. At equal times the lower track's events come
// first, and the events of each track keep their order. Every End of Track
// is removed by the merge that puts an event behind it; only the very last
// event can remain one. Besides, every merge reported each oversized record
// of the two copies and of this track's records it cleared and of the Ends
// of Track it removed: counted here and reported at the end.
bool MidiTrackData::MergeAllAtOnce(const std::vector<const MidiTrackData*>& tracks) {
    if (state != kStateNoteForm || !events.empty()) return false;
    // One look at every event: whether the merge can be done at once, and
    // what each track brings to the reports.
    struct Counts {
        std::int64_t length = 0;
        std::int64_t oversized = 0;
        std::int64_t oversizedEnds = 0;
    };
    std::vector<Counts> counts(tracks.size());
    std::size_t total = 0;
    std::size_t notes = 0;
    std::size_t ends = 0;  // Ends of Track: all go but perhaps the last event
    for (std::size_t k = 0; k < tracks.size(); ++k) {
        const MidiTrackData& track = *tracks[k];
        if (track.state != kStateNoteForm) return false;
        Counts& c = counts[k];
        for (const MusicEvent& event : track.events) {
            if (event.delta < 0) return false;
            c.length += event.delta;
            notes += event.type == kTypeNote ? 1 : 0;
            if (event.IsEndOfTrack()) ++ends;
            if (!Oversized(event)) continue;
            ++c.oversized;
            c.oversizedEnds += event.IsEndOfTrack() ? 1 : 0;
        }
        if (c.length > std::numeric_limits<std::int32_t>::max()) return false;
        total += track.events.size();
    }
    if (total > static_cast<std::size_t>(kTrackCapacity)) return false;

    // Reports, merge by merge from the last track: the merged list so far
    // (oversized records: mergedOversized) is copied and cleared; the track
    // is copied; the Ends of Track not last are removed.
    std::int64_t reports = 0;
    std::int64_t mergedOversized = 0;
    bool lastKeptOversized = false;  // the merged list's last event, an oversized End of Track
    std::int64_t lastTime = -1;
    std::int32_t lastTrack = -1;
    for (auto k = static_cast<std::int32_t>(tracks.size()) - 1; k >= 0; --k) {
        const MidiTrackData& track = *tracks[static_cast<std::size_t>(k)];
        const auto [length, oversized, oversizedEnds] = counts[static_cast<std::size_t>(k)];
        reports += 2 * mergedOversized + oversized;
        // The merged list's last event: the latest track end, the higher track at a tie.
        if (!track.events.empty() && length > lastTime) {
            lastTime = length;
            lastTrack = k;
        }
        const MusicEvent* last = lastTrack >= 0 ? &tracks[static_cast<std::size_t>(lastTrack)]->events.back() : nullptr;
        const bool keptOversized = last != nullptr && last->IsEndOfTrack() && Oversized(*last);
        const std::int64_t removed = (lastKeptOversized ? 1 : 0) + oversizedEnds - (keptOversized ? 1 : 0);
        reports += removed;
        mergedOversized += oversized - removed;
        lastKeptOversized = keptOversized;
    }

    // The next event of each track, earliest first (the lower track at a
    // tie), in a binary heap whose top is replaced as its track goes on.
    struct Head {
        std::int64_t time;
        std::int32_t track;
        std::int32_t index;
        bool Before(const Head& other) const {
            return time != other.time ? time < other.time : track < other.track;
        }
    };
    std::vector<Head> heads;
    for (std::size_t k = 0; k < tracks.size(); ++k) {
        if (!tracks[k]->events.empty()) heads.push_back({tracks[k]->events[0].delta, static_cast<std::int32_t>(k), 0});
    }
    std::sort(heads.begin(), heads.end(), [](const Head& a, const Head& b) { return a.Before(b); });
    auto siftDownTop = [&heads] {
        const std::size_t n = heads.size();
        const Head moving = heads[0];
        std::size_t at = 0;
        for (std::size_t child = 1; child < n; child = 2 * at + 1) {
            if (child + 1 < n && heads[child + 1].Before(heads[child])) ++child;
            if (!heads[child].Before(moving)) break;
            heads[at] = heads[child];
            at = child;
        }
        heads[at] = moving;
    };
    // A song is brought to event form before it is saved or played, which
    // adds a note-off for each note: room for them now spares moving the
    // whole list then (the room is only address space until it is used).
    // The merged list holds every event but the Ends of Track, save perhaps
    // one last.
    events.reserve(total - ends + 1 + notes);
    std::int64_t placed = 0;  // time of the event appended last
    while (!heads.empty()) {
        Head& head = heads[0];
        const auto& source = tracks[static_cast<std::size_t>(head.track)]->events;
        const MusicEvent& event = source[static_cast<std::size_t>(head.index)];
        const std::int64_t time = head.time;
        const auto next = static_cast<std::size_t>(head.index) + 1;
        if (next < source.size()) {
            head = {time + source[next].delta, head.track, static_cast<std::int32_t>(next)};
        } else {
            head = heads.back();
            heads.pop_back();
        }
        if (!heads.empty()) siftDownTop();
        if (event.IsEndOfTrack() && !heads.empty()) continue;  // an event follows it: removed
        events.push_back(event);
        events.back().delta = static_cast<std::int32_t>(time - placed);
        placed = time;
    }
    ReportDropped(reports);
    return true;
}

}  // namespace solvane
