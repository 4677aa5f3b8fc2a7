// The two forms of a track's list and the moves between them: event form
// (note-on and note-off apart, as a file stores them) and note form (one
// event per note, carrying its duration).
//
// Each conversion is defined as a walk that removes or inserts one event at a
// time (each removal adds the event's delta to the next one, each insertion
// splits a delta). Done that way a large file takes seconds, so the walks are
// computed here in one pass over absolute times instead, with the same
// results down to every delta and every report. Deltas are 32-bit and every
// sum is narrowed to 32 bits where the walk stores it; since narrowing is
// modular, a chain of such additions stores the same value as narrowing the
// exact sum once, which is what the passes below rely on.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <utility>
#include <vector>

#include "support/General.h"
#include "support/Messages.h"
#include "track/MidiTrackData.h"
#include "track/NoteKeys.h"

namespace solvane {
namespace {

std::int32_t Narrow(std::int64_t value) { return static_cast<std::int32_t>(value); }

// A record taken out of the list is destroyed at the moment the walk would
// destroy it, so that an oversized one reports then and not later.
void Destroy(MusicEvent& event) { MusicEvent gone = std::move(event); }

MusicEvent MakeNoteOff(const MusicEvent& note, std::int64_t delta) {
    MusicEvent off(Narrow(delta));
    off.type = kTypeNoteOff;
    off.key = note.key;
    off.channel = note.channel;
    off.velocity = 0x40;
    return off;
}

// A note-off still to be placed: its time, and the number of its note in list
// order. Of several ending at once, the later note's off goes first.
struct PendingOff {
    std::int64_t time;
    std::int32_t order;
    std::int32_t key;
    std::int32_t channel;
};

bool PlacedBefore(const PendingOff& a, const PendingOff& b) {
    return a.time != b.time ? a.time < b.time : a.order > b.order;
}

// A binary heap of note-offs, the next to place first.
void Push(std::vector<PendingOff>& heap, const PendingOff& off) {
    std::size_t at = heap.size();
    heap.push_back(off);
    while (at > 0) {
        const std::size_t parent = (at - 1) / 2;
        if (!PlacedBefore(off, heap[parent])) break;
        heap[at] = heap[parent];
        at = parent;
    }
    heap[at] = off;
}

void PopFirst(std::vector<PendingOff>& heap) {
    const PendingOff moving = heap.back();
    heap.pop_back();
    const std::size_t n = heap.size();
    if (n == 0) return;
    std::size_t at = 0;
    for (std::size_t child = 1; child < n; child = 2 * at + 1) {
        if (child + 1 < n && PlacedBefore(heap[child + 1], heap[child])) ++child;
        if (!PlacedBefore(heap[child], moving)) break;
        heap[at] = heap[child];
        at = child;
    }
    heap[at] = moving;
}

// The growing list of ToEventForm as absolute times, in blocks, for lists
// whose times do not only grow (negative deltas) or that fill up: the walk's
// searches and insertions are kept exact there, at a cost that stays below
// the walk's. A slot refers to an original record (ref >= 0) or to a note-off
// made here (-1 - its number). Times are stored relative to their block's shift.
class TimedSlots {
public:
    struct Slot {
        std::int64_t time;
        std::int32_t ref;
    };
    struct Position {
        std::int32_t block = -1;
        std::int32_t index = 0;
        bool valid() const { return block >= 0; }
    };

    explicit TimedSlots(const std::vector<MusicEvent>& events) : blockOf_(events.size()) {
        std::int64_t time = 0;
        for (std::size_t k = 0; k < events.size(); ++k) {
            if (k % kFill == 0) NewBlockAfter(last_);
            time += events[k].delta;
            Block& block = blocks_[static_cast<std::size_t>(last_)];
            block.slots.push_back({time, static_cast<std::int32_t>(k)});
            block.max = std::max(block.max, time);
            blockOf_[k] = last_;
        }
        if (first_ < 0) NewBlockAfter(-1);
    }

    Position Locate(std::int32_t ref) const {
        const std::int32_t b = blockOf_[static_cast<std::size_t>(ref)];
        const auto& slots = blocks_[static_cast<std::size_t>(b)].slots;
        for (std::size_t i = 0; i < slots.size(); ++i) {
            if (slots[i].ref == ref) return {b, static_cast<std::int32_t>(i)};
        }
        return {};
    }
    std::int64_t TimeAt(Position p) const {
        const Block& block = blocks_[static_cast<std::size_t>(p.block)];
        return block.slots[static_cast<std::size_t>(p.index)].time + block.shift;
    }
    Position Next(Position p) const {
        if (p.index + 1 < SizeOf(p.block)) return {p.block, p.index + 1};
        return FirstFrom(blocks_[static_cast<std::size_t>(p.block)].next);
    }
    Position Previous(Position p) const {
        if (p.index > 0) return {p.block, p.index - 1};
        for (std::int32_t b = blocks_[static_cast<std::size_t>(p.block)].prev; b >= 0;
             b = blocks_[static_cast<std::size_t>(b)].prev) {
            if (SizeOf(b) > 0) return {b, SizeOf(b) - 1};
        }
        return {};
    }
    Position Last() const {
        for (std::int32_t b = last_; b >= 0; b = blocks_[static_cast<std::size_t>(b)].prev) {
            if (SizeOf(b) > 0) return {b, SizeOf(b) - 1};
        }
        return {};
    }
    // The first slot after p whose time is at least time.
    Position FirstAtLeastAfter(Position p, std::int64_t time) const {
        const Block& own = blocks_[static_cast<std::size_t>(p.block)];
        for (std::size_t i = static_cast<std::size_t>(p.index) + 1; i < own.slots.size(); ++i) {
            if (own.slots[i].time + own.shift >= time) return {p.block, static_cast<std::int32_t>(i)};
        }
        for (std::int32_t b = own.next; b >= 0; b = blocks_[static_cast<std::size_t>(b)].next) {
            const Block& block = blocks_[static_cast<std::size_t>(b)];
            if (block.slots.empty() || block.max + block.shift < time) continue;
            for (std::size_t i = 0; i < block.slots.size(); ++i) {
                if (block.slots[i].time + block.shift >= time) return {b, static_cast<std::int32_t>(i)};
            }
        }
        return {};
    }
    void InsertBefore(Position p, std::int64_t time, std::int32_t ref) {
        Block& block = blocks_[static_cast<std::size_t>(p.block)];
        block.slots.insert(block.slots.begin() + p.index, {time - block.shift, ref});
        block.max = std::max(block.max, time - block.shift);
        if (ref >= 0) blockOf_[static_cast<std::size_t>(ref)] = p.block;
        if (block.slots.size() > kSplitAt) Split(p.block);
    }
    void Append(std::int64_t time, std::int32_t ref) {
        Block& block = blocks_[static_cast<std::size_t>(last_)];
        InsertBefore({last_, static_cast<std::int32_t>(block.slots.size())}, time, ref);
    }
    void Remove(Position p) {
        Block& block = blocks_[static_cast<std::size_t>(p.block)];
        block.slots.erase(block.slots.begin() + p.index);
        Remax(block);
    }
    // Moves p and every slot after it by amount ticks.
    void ShiftFrom(Position p, std::int64_t amount) {
        Block& own = blocks_[static_cast<std::size_t>(p.block)];
        for (std::size_t i = static_cast<std::size_t>(p.index); i < own.slots.size(); ++i) own.slots[i].time += amount;
        Remax(own);
        for (std::int32_t b = own.next; b >= 0; b = blocks_[static_cast<std::size_t>(b)].next) {
            blocks_[static_cast<std::size_t>(b)].shift += amount;
        }
    }
    template <typename Visit>
    void ForEach(Visit visit) const {
        for (std::int32_t b = first_; b >= 0; b = blocks_[static_cast<std::size_t>(b)].next) {
            const Block& block = blocks_[static_cast<std::size_t>(b)];
            for (const Slot& slot : block.slots) visit(slot.time + block.shift, slot.ref);
        }
    }

private:
    static constexpr std::size_t kFill = 128;
    static constexpr std::size_t kSplitAt = 2 * kFill;
    static constexpr std::int64_t kNone = std::numeric_limits<std::int64_t>::min() / 2;

    struct Block {
        std::vector<Slot> slots;
        std::int64_t shift = 0;
        std::int64_t max = kNone;
        std::int32_t prev = -1;
        std::int32_t next = -1;
    };

    std::int32_t SizeOf(std::int32_t b) const {
        return static_cast<std::int32_t>(blocks_[static_cast<std::size_t>(b)].slots.size());
    }
    Position FirstFrom(std::int32_t b) const {
        for (; b >= 0; b = blocks_[static_cast<std::size_t>(b)].next) {
            if (SizeOf(b) > 0) return {b, 0};
        }
        return {};
    }
    static void Remax(Block& block) {
        block.max = kNone;
        for (const Slot& slot : block.slots) block.max = std::max(block.max, slot.time);
    }
    void NewBlockAfter(std::int32_t b) {
        const auto added = static_cast<std::int32_t>(blocks_.size());
        blocks_.emplace_back();
        Block& block = blocks_.back();
        if (b < 0) {
            block.next = first_;
            if (first_ >= 0) blocks_[static_cast<std::size_t>(first_)].prev = added;
            first_ = added;
        } else {
            Block& before = blocks_[static_cast<std::size_t>(b)];
            block.prev = b;
            block.next = before.next;
            block.shift = before.shift;
            if (before.next >= 0) blocks_[static_cast<std::size_t>(before.next)].prev = added;
            before.next = added;
        }
        if (block.next < 0) last_ = added;
    }
    void Split(std::int32_t b) {
        NewBlockAfter(b);
        const auto added = static_cast<std::int32_t>(blocks_.size()) - 1;
        Block& from = blocks_[static_cast<std::size_t>(b)];
        Block& to = blocks_.back();
        const auto half = static_cast<std::ptrdiff_t>(from.slots.size() / 2);
        to.slots.assign(from.slots.begin() + half, from.slots.end());
        from.slots.erase(from.slots.begin() + half, from.slots.end());
        Remax(from);
        Remax(to);
        for (const Slot& slot : to.slots) {
            if (slot.ref >= 0) blockOf_[static_cast<std::size_t>(slot.ref)] = added;
        }
    }

    std::vector<Block> blocks_;
    std::vector<std::int32_t> blockOf_;
    std::int32_t first_ = -1;
    std::int32_t last_ = -1;
};

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
    std::vector<std::int32_t> head(NoteKeys::kFixed, -1);
    std::vector<std::int32_t> tail(NoteKeys::kFixed, -1);
    std::int64_t time = 0;
    // Deltas as a file can carry them sum exactly; only then is a length past
    // what a duration holds known for what it is. Known at the end, so such
    // notes are noted on the way.
    bool fileTimes = true;
    std::vector<std::uint32_t> tooLong;
    for (std::size_t k = 0; k < n; ++k) {
        MusicEvent& event = events[k];
        fileTimes = fileTimes && event.delta >= 0 && event.delta <= static_cast<std::int32_t>(kMaxVarLen);
        time += event.delta;
        if (event.type != kTypeNoteOn && event.type != kTypeNoteOff) continue;
        const auto id = static_cast<std::size_t>(keys.Of(event.channel, event.key));
        if (id >= head.size()) {
            head.resize(id + 1, -1);
            tail.resize(id + 1, -1);
        }
        if (event.type == kTypeNoteOn) {
            event.type = kTypeNote;  // every note-on becomes a note, closed or not
            const auto entry = static_cast<std::int32_t>(open.size());
            open.push_back({time, static_cast<std::uint32_t>(k), -1});
            if (tail[id] >= 0) {
                open[static_cast<std::size_t>(tail[id])].next = entry;
            } else {
                head[id] = entry;
            }
            tail[id] = entry;
            continue;
        }
        if (head[id] < 0) continue;
        const Open& on = open[static_cast<std::size_t>(head[id])];
        // The walk summed the deltas between the two as they stood then, some
        // already enlarged by removed note-offs; modulo 2^32 that is the
        // difference of the two times.
        const std::int64_t held = time - on.start;
        events[on.index].duration = Narrow(held);
        if (held > std::numeric_limits<std::int32_t>::max()) tooLong.push_back(on.index);
        head[id] = on.next;
        if (head[id] < 0) tail[id] = -1;
    }
    if (!fileTimes) tooLong.clear();
    // Weeks of music at any tempo: kept at the longest length a note can have
    // rather than wrapped into a negative one.
    for (const std::uint32_t index : tooLong) events[index].duration = std::numeric_limits<std::int32_t>::max();

    // Then, in one pass: every note-off goes, closing or not, each passing
    // its delta on to the event that follows it (the last ones take theirs
    // with them); a note of no length (never closed, or closed at once) is
    // marked, as there is nothing to hear. The walk did these one after the
    // other, so its reports are counted here and given in its order.
    std::int64_t oversizedOffs = 0;
    std::int64_t negativeLengths = 0;
    bool anyMarked = false;
    std::size_t kept = 0;
    std::int64_t carried = 0;
    for (std::size_t k = 0; k < n; ++k) {
        MusicEvent& event = events[k];
        if (event.type == kTypeNoteOff) {
            carried += event.delta;
            if (event.length > kEventDataBlock) {
                ++oversizedOffs;
                event.length = 0;  // reported below, in the walk's order
            }
            Destroy(event);
            continue;
        }
        event.delta = Narrow(event.delta + carried);
        carried = 0;
        if (event.type == kTypeNote) {
            if (event.duration == 0) {
                event.type = kTypeMarked;
            } else if (event.duration < 0) {
                ++negativeLengths;
            }
        }
        anyMarked = anyMarked || event.type == kTypeMarked;
        if (kept != k) events[kept] = std::move(event);
        ++kept;
    }
    events.erase(events.begin() + static_cast<std::ptrdiff_t>(kept), events.end());
    for (std::int64_t r = 0; r < oversizedOffs; ++r) ReportModuleError(Module::kMusicEvent, kEventDataTooLarge);
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
        Destroy(events[k]);
    }
    events.erase(events.begin() + static_cast<std::ptrdiff_t>(kept), events.end());
}

void MidiTrackData::ToEventForm() {
    if (state != kStateNoteForm) {
        ReportError(kTrackInternalError);
        return;
    }
    std::size_t notes = 0;
    bool timesOnlyGrow = true;
    for (const MusicEvent& event : events) {
        notes += event.type == kTypeNote ? 1 : 0;
        timesOnlyGrow = timesOnlyGrow && event.delta >= 0;
    }
    std::size_t firstEnd = 0;  // no End of Track stands before this index
    if (timesOnlyGrow && events.size() + notes <= static_cast<std::size_t>(kTrackCapacity)) {
        firstEnd = PlaceNoteOffsByTime(notes);
    } else {
        PlaceNoteOffsOneByOne();
    }
    MoveEndOfTrackLast(firstEnd);
    state = kStateEventForm;
}

// The walk, for each note in list order, puts a note-off before the first
// event after the note that is at or past the note's end, or at the end of
// the list; a note of no length gets its note-off right before it. When the
// times only grow and the list never fills up, the first event at or past a
// time is simply the first at or past it in the whole list, which holds the
// note-offs placed so far too. The result is then the list in time order
// with, at each time, the note-offs first (the later note's first), then the
// original events in their order, each note-off of no length right before
// its note. Every delta is the difference of two neighbouring times.
std::size_t MidiTrackData::PlaceNoteOffsByTime(std::size_t notes) {
    // First, in order: where each note-off goes (the number of original
    // events before it) and every new delta; nothing moves yet. Note-offs
    // still to come wait in a binary heap, the next to place on top.
    struct PlacedOff {
        std::uint32_t before;
        std::int32_t delta;
        std::int32_t key;
        std::int32_t channel;
    };
    std::vector<PlacedOff> offs;
    offs.reserve(notes);
    std::vector<PendingOff> pending;
    std::int64_t time = 0;
    std::int64_t last = 0;  // time of the event placed last
    auto place = [&](const PendingOff& off, std::uint32_t before) {
        offs.push_back({before, Narrow(off.time - last), off.key, off.channel});
        last = off.time;
    };
    const std::size_t n = events.size();
    std::size_t firstEnd = n;  // the first End of Track, as an original index
    std::int32_t order = 0;
    for (std::size_t k = 0; k < n; ++k) {
        MusicEvent& event = events[k];
        if (firstEnd == n && event.IsEndOfTrack()) firstEnd = k;
        time += event.delta;
        while (!pending.empty() && pending.front().time <= time) {
            place(pending.front(), static_cast<std::uint32_t>(k));
            PopFirst(pending);
        }
        if (event.type == kTypeNote) {
            event.type = kTypeNoteOn;
            const std::int64_t d = event.duration;
            event.duration = 0;
            if (d <= 0) {
                ReportError(kTrackInternalError);
                place({time, order, event.key, event.channel}, static_cast<std::uint32_t>(k));
            } else {
                Push(pending, {time + d, order, event.key, event.channel});
            }
            ++order;
        }
        event.delta = Narrow(time - last);
        last = time;
    }
    while (!pending.empty()) {
        place(pending.front(), static_cast<std::uint32_t>(n));
        PopFirst(pending);
    }

    // Then the list grows by the note-offs, filled from the back: each
    // original event moves up by the number of note-offs before it, into a
    // slot that is new or already emptied (so no record goes).
    events.resize(n + offs.size());
    std::size_t slot = events.size();
    std::size_t o = offs.size();
    std::size_t firstEndSlot = events.size();
    for (std::size_t k = n;; --k) {
        for (; o > 0 && offs[o - 1].before == k; --o) {
            // A new note-off, written over a record that holds no data.
            const PlacedOff& off = offs[o - 1];
            MusicEvent& event = events[--slot];
            event.type = kTypeNoteOff;
            event.delta = off.delta;
            event.key = off.key;
            event.duration = 0;
            event.velocity = 0x40;
            event.subtype = 0;
            event.value = 0;
            event.length = 0;
            event.data.clear();
            event.channel = off.channel;
        }
        if (k == 0) break;
        if (--slot != k - 1) events[slot] = std::move(events[k - 1]);
        if (k - 1 == firstEnd) firstEndSlot = slot;
    }
    return firstEndSlot;
}

// The walk itself, with its searches over absolute times kept in blocks, for
// lists where times can fall or where the list fills up: then a note is
// dropped (reported once) whenever the list is full when its turn comes.
void MidiTrackData::PlaceNoteOffsOneByOne() {
    TimedSlots slots(events);
    std::vector<MusicEvent> offs;
    std::int64_t count = static_cast<std::int64_t>(events.size());
    bool reportedFull = false;
    for (std::size_t k = 0; k < events.size(); ++k) {
        MusicEvent& note = events[k];
        if (note.type != kTypeNote) continue;
        const auto ref = static_cast<std::int32_t>(k);
        const TimedSlots::Position at = slots.Locate(ref);
        if (count >= kTrackCapacity) {
            // No room for the note-off: the note goes, with a report, rather
            // than sounding on without end. Its delta joins the next event's.
            if (!reportedFull) ReportError(kTrackTooMuchData);
            reportedFull = true;
            const TimedSlots::Position before = slots.Previous(at);
            const TimedSlots::Position after = slots.Next(at);
            if (after.valid()) {
                const std::int64_t from = before.valid() ? slots.TimeAt(before) : 0;
                const std::int64_t was = slots.TimeAt(after);
                const std::int64_t now = from + Narrow(was - from);
                if (now != was) slots.ShiftFrom(after, now - was);
            }
            slots.Remove(at);
            Destroy(note);
            --count;
            continue;
        }
        note.type = kTypeNoteOn;
        std::int64_t d = note.duration;
        note.duration = 0;
        if (d <= 0) {
            ReportError(kTrackInternalError);
            d = 0;
        }
        const std::int64_t start = slots.TimeAt(at);
        const std::int32_t offRef = -1 - static_cast<std::int32_t>(offs.size());
        offs.push_back(MakeNoteOff(note, 0));
        if (d == 0) {
            slots.InsertBefore(at, start, offRef);
        } else if (const TimedSlots::Position end = slots.FirstAtLeastAfter(at, start + d); end.valid()) {
            slots.InsertBefore(end, start + d, offRef);
        } else {
            const std::int64_t lastTime = slots.TimeAt(slots.Last());
            slots.Append(lastTime + Narrow(d - (lastTime - start)), offRef);
        }
        ++count;
    }
    std::vector<MusicEvent> placed;
    placed.reserve(static_cast<std::size_t>(count));
    std::int64_t last = 0;
    slots.ForEach([&](std::int64_t time, std::int32_t ref) {
        MusicEvent& event = ref >= 0 ? events[static_cast<std::size_t>(ref)] : offs[static_cast<std::size_t>(-1 - ref)];
        event.delta = Narrow(time - last);
        last = time;
        placed.push_back(std::move(event));
    });
    events.swap(placed);
}

// The End of Track goes last, behind notes that outlast it.
void MidiTrackData::MoveEndOfTrackLast(std::size_t from) {
    for (auto i = static_cast<std::int32_t>(std::min(from, events.size())); i < count(); ++i) {
        if (!events[static_cast<std::size_t>(i)].IsEndOfTrack()) continue;
        if (i + 1 < count()) {
            AddDeltaToNext(i);
            MusicEvent end = std::move(events[static_cast<std::size_t>(i)]);
            end.delta = 0;
            events.erase(events.begin() + i);
            events.push_back(std::move(end));
        }
        break;
    }
}

}  // namespace solvane
