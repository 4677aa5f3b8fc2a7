// Merging tracks in note form into one by time, as the loader builds the song.
// The merge is defined one track at a time: copies of the destination and of
// the track are merged into the cleared destination, and every End of Track
// not last goes. One pass by time over every track gives the same list: each
// event keeps its time, at equal times the lower track's events come first,
// and an End of Track stays only as the very last event (taking its place
// until then, should the list fill up). What the copies did besides (a record
// of more than 256 bytes reports when a copy of it goes) is reported here.

#include <algorithm>
#include <cstdint>
#include <utility>
#include <vector>

#include "support/Messages.h"
#include "track/MidiTrackData.h"

namespace solvane {
namespace {

// What a list brings to the reports (its large records) and to the room
// the merged list needs (a note-off to come for each note), in one look.
struct Tally {
    std::int64_t oversized = 0;
    std::size_t notes = 0;
};

Tally Count(const std::vector<MusicEvent>& events) {
    Tally tally;
    for (const MusicEvent& e : events) {
        tally.oversized += e.length > kEventDataBlock ? 1 : 0;
        tally.notes += e.type == kTypeNote ? 1 : 0;
    }
    return tally;
}

}  // namespace

void MidiTrackData::MergeTrack(const MidiTrackData& other) { MergeTracks({&other}); }

void MidiTrackData::MergeTracks(const std::vector<const MidiTrackData*>& tracks) {
    // A track merged into itself merges a copy taken first.
    std::vector<MusicEvent> ownCopy;
    if (std::find(tracks.begin(), tracks.end(), this) != tracks.end()) ownCopy = events;
    auto listOf = [&](const MidiTrackData* track) -> const std::vector<MusicEvent>& {
        return track == this ? ownCopy : track->events;
    };
    // The merges, last track first: each reports a track that is not in note
    // form (it copies as nothing), and each copy and cleared list reports its
    // large records.
    const bool mine = state == kStateNoteForm;
    const Tally own = Count(events);
    std::int64_t merged = own.oversized;
    std::vector<Tally> tallies(tracks.size());
    for (std::size_t k = tracks.size(); k-- > 0;) {
        if (!mine) ReportError(kTrackInternalError);
        const bool theirs = tracks[k]->state == kStateNoteForm;
        if (!theirs) ReportError(kTrackInternalError);
        if (!mine) continue;
        if (theirs) tallies[k] = Count(listOf(tracks[k]));
        const std::int64_t oversized = tallies[k].oversized;
        // The copy of this track is real, and reports by itself when it goes.
        const std::int64_t copied = tracks[k] == this ? 0 : oversized;
        for (std::int64_t r = 0; r < 2 * merged + copied; ++r) ReportModuleError(Module::kMusicEvent, kEventDataTooLarge);
        merged += oversized;
    }
    if (!mine) return;

    // The next event of each list, earliest first, the lower list at a tie;
    // this track's own events come last of all.
    std::vector<const std::vector<MusicEvent>*> lists;
    lists.reserve(tracks.size() + 1);
    std::size_t total = events.size() + own.notes;
    for (std::size_t k = 0; k < tracks.size(); ++k) {
        if (tracks[k]->state != kStateNoteForm) continue;
        lists.push_back(&listOf(tracks[k]));
        total += lists.back()->size() + tallies[k].notes;
    }
    std::vector<MusicEvent> ownEvents = std::move(events);
    lists.push_back(&ownEvents);
    struct Head {
        std::int64_t time;
        std::uint32_t list;
        std::uint32_t index;
    };
    auto after = [](const Head& a, const Head& b) { return a.time != b.time ? a.time > b.time : a.list > b.list; };
    std::vector<Head> heads;
    heads.reserve(lists.size());
    for (std::uint32_t l = 0; l < lists.size(); ++l) {
        if (!lists[l]->empty()) heads.push_back({lists[l]->front().delta, l, 0});
    }
    std::make_heap(heads.begin(), heads.end(), after);
    events = std::vector<MusicEvent>();
    // A song goes to event form before it is saved or played, which adds a
    // note-off for each note (counted in total): room for them now spares
    // moving the whole list then.
    events.reserve(std::min<std::size_t>(total, kTrackCapacity));
    std::int64_t placed = 0;  // time of the event appended last
    // The event to place next stands outside the heap: while the events of
    // its list that follow still come before every other list's next event
    // (a chord, a run), they are placed without a trip through the heap.
    auto popEarliest = [&] {
        std::pop_heap(heads.begin(), heads.end(), after);
        const Head earliest = heads.back();
        heads.pop_back();
        return earliest;
    };
    if (heads.empty()) return;
    // Every End of Track but one ending the list goes below, so the copies
    // of theirs take the fields alone; the one that stays last gets its
    // data then (each track of a split song has one).
    const MusicEvent* lastEnd = nullptr;
    for (Head head = popEarliest();;) {
        const std::vector<MusicEvent>& source = *lists[head.list];
        if (ListFull()) {
            ReportError(kTrackTooMuchData);
        } else {
            lastEnd = nullptr;
            if (head.list + 1 == lists.size()) {
                events.push_back(std::move(ownEvents[head.index]));
            } else if (source[head.index].IsEndOfTrack()) {
                lastEnd = &source[head.index];
                static_cast<EventFields&>(events.emplace_back()) = *lastEnd;
            } else {
                events.push_back(source[head.index]);
            }
            events.back().delta = static_cast<std::int32_t>(head.time - placed);
            placed = head.time;
        }
        if (head.index + 1 < source.size()) {
            const Head next{head.time + source[head.index + 1].delta, head.list, head.index + 1};
            if (heads.empty() || after(heads.front(), next)) {
                head = next;
                continue;
            }
            heads.push_back(next);
            std::push_heap(heads.begin(), heads.end(), after);
        } else if (heads.empty()) {
            break;
        }
        head = popEarliest();
    }
    if (lastEnd != nullptr) {  // as a copy takes them: the first length bytes
        const auto kept = std::min(lastEnd->data.size(), static_cast<std::size_t>(std::max(lastEnd->length, 0)));
        events.back().data.assign(lastEnd->data.begin(), lastEnd->data.begin() + static_cast<std::ptrdiff_t>(kept));
    }
    KeepLastEndOfTrack();
}

}  // namespace solvane
