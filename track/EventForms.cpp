// The two forms of a track's list and the moves between them: event form
// (note-on and note-off apart, as a file stores them) and note form (one
// event per note, carrying its duration). Both are defined as walks that
// remove or insert one event at a time, each removal adding the event's delta
// to the next one. Every list the program converts has times that only grow
// (the reader makes sure of it), so the walks' searches are searches by time:
// each conversion is done in passes over absolute times, with the walks'
// deltas and reports.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

#include "support/General.h"
#include "track/MidiTrackData.h"
#include "track/NoteKeys.h"

namespace solvane {
namespace {

// Deltas are 32-bit; where the walk stores a sum it keeps its low 32 bits.
std::int32_t Narrow(std::int64_t value) { return static_cast<std::int32_t>(value); }

// The two ends of the queue of open note-ons of one channel and key.
struct NoteQueue {
    std::int32_t head = -1;
    std::int32_t tail = -1;
};

// The queues by key number, kept per thread from one conversion to the next
// with every queue empty: a file converts track after track, and a table of
// all 2,048 keys made and cleared for each would cost a short track more
// than its notes. A conversion empties the queues it used before anything
// else can run on its thread (a report's box, say).
class QueueTable {
public:
    NoteQueue& operator[](std::size_t id) {
        if (id >= queues_.size()) queues_.resize(std::max<std::size_t>(id + 1, NoteKeys::kFixed));
        return queues_[id];
    }
    void Used(std::size_t id) { used_.push_back(static_cast<std::uint32_t>(id)); }
    void EmptyAll() {
        for (const std::uint32_t id : used_) queues_[id] = NoteQueue{};
        used_.clear();
        // Numbers past the fixed keys come from damaged files only (fuzzing
        // makes them all the time); a table grown far for them is not kept.
        if (queues_.size() > 16 * NoteKeys::kFixed) {
            queues_.resize(NoteKeys::kFixed);
            queues_.shrink_to_fit();
        }
    }

private:
    std::vector<NoteQueue> queues_;
    std::vector<std::uint32_t> used_;
};

thread_local QueueTable t_queues;

}  // namespace

void MidiTrackData::ToNoteForm() {
    if (state != kStateEventForm) {
        ReportError(kTrackInternalError);
        return;
    }
    const std::size_t n = events.size();
    // Pairing, first in first out: each note-on takes the first later
    // note-off of its channel and key that no earlier note-on has taken.
    // Going through the list once, a note-off therefore closes the oldest
    // note-on of its channel and key still open. Open note-ons wait in one
    // queue per channel and key, linked through their entries in open.
    struct Open {
        std::int64_t start;
        std::uint32_t index;
        std::int32_t next;
    };
    std::vector<Open> open;
    open.reserve(n / 2 + 1);  // address space: only what is used is touched
    NoteKeys keys;
    QueueTable& queues = t_queues;
    struct EmptiedAtEnd {
        QueueTable& table;
        ~EmptiedAtEnd() { table.EmptyAll(); }  // also when memory ran out on the way
    } emptied{queues};
    std::int64_t time = 0;
    // Deltas as a file can carry them sum exactly; only then is a length past
    // what a duration holds known for what it is, and held at the longest a
    // note can have rather than wrapped into a negative one.
    bool fileTimes = true;
    std::vector<std::uint32_t> tooLong;
    for (std::size_t k = 0; k < n; ++k) {
        MusicEvent& event = events[k];
        fileTimes = fileTimes && event.delta <= static_cast<std::int32_t>(kMaxVarLen);
        time += event.delta;
        if (event.type != kTypeNoteOn && event.type != kTypeNoteOff) continue;
        const auto id = static_cast<std::size_t>(keys.Of(event.channel, event.key));
        NoteQueue& queue = queues[id];
        if (event.type == kTypeNoteOn) {
            event.type = kTypeNote;  // every note-on becomes a note, closed or not
            const auto entry = static_cast<std::int32_t>(open.size());
            open.push_back({time, static_cast<std::uint32_t>(k), -1});
            if (queue.tail >= 0) {
                open[static_cast<std::size_t>(queue.tail)].next = entry;
            } else {
                queues.Used(id);
                queue.head = entry;
            }
            queue.tail = entry;
            continue;
        }
        if (queue.head < 0) continue;
        const Open& on = open[static_cast<std::size_t>(queue.head)];
        // The walk summed the deltas between the two as they stood then, some
        // already enlarged by removed note-offs; modulo 2^32 that is the
        // difference of the two times.
        const std::int64_t held = time - on.start;
        events[on.index].duration = Narrow(held);
        if (held > kLongestTime) tooLong.push_back(on.index);
        queue.head = on.next;
        if (queue.head < 0) queue.tail = -1;
    }
    queues.EmptyAll();
    if (!fileTimes) tooLong.clear();
    for (const std::uint32_t index : tooLong) events[index].duration = static_cast<std::int32_t>(kLongestTime);

    // Every note-off goes, closing or not, passing its delta on to the event
    // that follows it (the last ones take theirs with them); a note of no
    // length (never closed, or closed at once) is marked, as there is
    // nothing to hear.
    std::int64_t negativeLengths = 0;
    bool anyMarked = false;
    std::size_t kept = 0;
    std::int64_t carried = 0;
    for (std::size_t k = 0; k < n; ++k) {
        MusicEvent& event = events[k];
        if (event.type == kTypeNoteOff) {
            carried += event.delta;
            continue;
        }
        event.delta = Narrow(event.delta + carried);
        carried = 0;
        if (event.type == kTypeNote && event.duration <= 0) {
            if (event.duration == 0) event.type = kTypeMarked;
            negativeLengths += event.duration < 0 ? 1 : 0;
        }
        anyMarked = anyMarked || event.type == kTypeMarked;
        if (kept != k) events[kept] = std::move(event);
        ++kept;
    }
    events.erase(events.begin() + static_cast<std::ptrdiff_t>(kept), events.end());
    if (!tooLong.empty()) ReportError(kTrackInternalError);
    for (std::int64_t r = 0; r < negativeLengths; ++r) ReportError(kTrackInternalError);
    if (anyMarked) DropMarked();
    state = kStateNoteForm;
}

void MidiTrackData::DropMarked() {
    // Each marked record passes its delta to the record after it, marked or
    // not, exactly when the walk removes it; the kept ones close up behind.
    const std::size_t n = events.size();
    std::size_t kept = 0;
    for (std::size_t k = 0; k < n; ++k) {
        if (events[k].type != kTypeMarked) {
            if (kept != k) events[kept] = std::move(events[k]);
            ++kept;
            continue;
        }
        if (k + 1 < n) {
            MusicEvent& next = events[k + 1];
            next.delta = Narrow(std::int64_t{next.delta} + events[k].delta);
            if (next.delta < 0) ReportError(kTrackInternalError);
        }
        MusicEvent gone = std::move(events[k]);  // destroyed now, with its report if it is large
    }
    events.erase(events.begin() + static_cast<std::ptrdiff_t>(kept), events.end());
}

// The walk, for each note in list order, puts a note-off before the first
// event after the note that is at or past the note's end, or at the end of
// the list; a note of no length gets its note-off right before it. With
// times that only grow, the first event at or past a time is the first at
// or past it in the whole list, which holds the note-offs placed so far too.
// The result is the list in time order with, at each time, the note-offs
// first (the later note's first), then the other events in their order, each
// note-off of no length right before its note. When the list has no room
// for a note-off, the walk drops the note instead (once reported), which
// frees a place for the next one.
void MidiTrackData::ToEventForm() {
    if (state != kStateNoteForm) {
        ReportError(kTrackInternalError);
        return;
    }
    // A note-off still to be placed, and where it went: before the original
    // event of index before, with its delta.
    struct Off {
        std::int64_t time;
        std::int32_t order;  // of its note; of several ending at once, the later note's off goes first
        std::int32_t key;
        std::int32_t channel;
        std::uint32_t before;
        std::int32_t delta;
    };
    auto later = [](const Off& a, const Off& b) { return a.time != b.time ? a.time > b.time : a.order < b.order; };
    std::vector<Off> pending;  // a heap, the next to place on top
    std::vector<Off> placed;
    std::int64_t room = kTrackCapacity - count();
    bool dropped = false;
    std::int64_t time = 0;
    std::int64_t last = 0;  // time of the event placed last
    auto place = [&](std::uint32_t before) {
        std::pop_heap(pending.begin(), pending.end(), later);
        Off& off = pending.back();
        off.before = before;
        off.delta = Narrow(off.time - last);
        last = off.time;
        placed.push_back(off);
        pending.pop_back();
    };
    const std::size_t n = events.size();
    placed.reserve(n / 2 + 1);  // address space: only what is used is touched
    pending.reserve(std::min<std::size_t>(n, 32));  // as many as sound at once: rarely more
    std::size_t end = 0;  // the first End of Track, followed to its new place below
    bool ends = false;
    std::int32_t order = 0;
    for (std::size_t k = 0; k < n; ++k) {
        MusicEvent& event = events[k];
        if (!ends && event.IsEndOfTrack()) {
            ends = true;
            end = k;
        }
        time += event.delta;
        while (!pending.empty() && pending.front().time <= time) place(static_cast<std::uint32_t>(k));
        if (event.type == kTypeNote) {
            if (room <= 0) {
                if (!dropped) ReportError(kTrackTooMuchData);
                dropped = true;
                event.type = kTypeMarked;  // goes once the note-offs are in
                ++room;
            } else {
                --room;
                event.type = kTypeNoteOn;
                const std::int64_t d = event.duration;
                event.duration = 0;
                if (d <= 0) ReportError(kTrackInternalError);
                pending.push_back({time + std::max<std::int64_t>(d, 0), order++, event.key, event.channel, 0, 0});
                std::push_heap(pending.begin(), pending.end(), later);
                if (d <= 0) place(static_cast<std::uint32_t>(k));
            }
        }
        event.delta = Narrow(time - last);
        last = time;
    }
    while (!pending.empty()) place(static_cast<std::uint32_t>(n));

    // Then the list grows by the note-offs, filled from the back: each event
    // moves up by the number of note-offs before it, into a slot that is new
    // or already emptied.
    std::size_t slot = events.size() + placed.size();
    std::size_t o = placed.size();
    events.resize(slot);
    for (std::size_t k = slot - placed.size();; --k) {
        for (; o > 0 && placed[o - 1].before == k; --o) {
            const Off& off = placed[o - 1];
            MusicEvent& event = events[--slot];
            event = MusicEvent(off.delta);
            event.type = kTypeNoteOff;
            event.key = off.key;
            event.velocity = 0x40;
            event.channel = off.channel;
        }
        if (k == 0) break;
        if (--slot != k - 1) events[slot] = std::move(events[k - 1]);
        if (ends && k - 1 == end) end = slot;
    }
    if (dropped) {
        // The marked notes before the End of Track go, and it moves up by as many.
        if (ends) {
            end -= static_cast<std::size_t>(std::count_if(events.begin(), events.begin() + static_cast<std::ptrdiff_t>(end),
                                                          [](const MusicEvent& e) { return e.type == kTypeMarked; }));
        }
        DropMarked();
    }
    // The End of Track goes last, behind notes that outlast it.
    if (ends && end + 1 < events.size()) {
        AddDeltaToNext(static_cast<std::int32_t>(end));
        events[end].delta = 0;
        std::rotate(events.begin() + static_cast<std::ptrdiff_t>(end), events.begin() + static_cast<std::ptrdiff_t>(end) + 1,
                    events.end());
    }
    state = kStateEventForm;
}

}  // namespace solvane
