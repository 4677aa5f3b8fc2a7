// Playing the piece back to front. Notes keep their lengths, the silence
// before the first event goes, and program changes move with the passage
// they governed so the reversed piece starts with the right voices.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <limits>
#include <vector>

#include "song/MidiF0Data.h"
#include "track/NoteKeys.h"

namespace solvane {
namespace {

bool IsNoteOff(const MusicEvent& event) {
    return event.type == kTypeNoteOff || (event.type == kTypeNoteOn && event.velocity == 0);
}

constexpr std::size_t kChannels = 16;

// What the shift of program changes needs to know of a list, gathered in one
// look at each event (by the mirror, which writes them all anyway).
class ShiftFacts {
public:
    explicit ShiftFacts(std::size_t n) : n_(n) { std::fill(std::begin(last), std::end(last), n); }
    // The channel whose program change stands at p, or -1; the End of Track,
    // last, is never looked at.
    static std::int32_t ChannelOf(const MusicEvent& event, std::size_t p, std::size_t n) {
        const bool shifted = p + 1 < n && event.type == kTypeProgram && event.channel >= 0 &&
                             event.channel < static_cast<std::int32_t>(kChannels);
        return shifted ? event.channel : -1;
    }
    void Look(const MusicEvent& event, std::size_t p) {
        fits_ = fits_ && event.delta >= 0 && event.type != kTypeMarked;
        length_ += event.delta;
        if (const std::int32_t c = ChannelOf(event, p, n_); c >= 0) {
            std::size_t& at = last[static_cast<std::size_t>(c)];
            at = at == n_ ? p : std::max(at, p);  // events may be looked at in any order
        }
    }
    // No delta below 0, no marked event and a length a delta holds.
    bool Fits() const { return fits_ && length_ <= std::numeric_limits<std::int32_t>::max(); }

    std::size_t last[kChannels];  // each channel's last program change (n: none)

private:
    std::size_t n_;
    bool fits_ = true;
    std::int64_t length_ = 0;
};

// The same shift in one walk from the back, for the lists songs have: no
// delta below 0, a length a delta can hold and no marked events. Then the
// placeholders that go pass on no time that could wrap, and what stays is:
// each channel's first program change in front (channel 15's first, with no
// delta), each later one in the slot of the one before it, and the slot of
// the last one gone, its delta added to the event after it. Each event moves
// once, by the number of slots that go behind it.
bool ShiftProgramChangesInPlace(MidiTrackData& t, const ShiftFacts& facts) {
    auto& events = t.events;
    const std::size_t n = events.size();
    if (!facts.Fits()) return false;
    const auto& last = facts.last;
    auto channelOf = [&events, n](std::size_t p) { return ShiftFacts::ChannelOf(events[p], p, n); };
    const auto gone = static_cast<std::size_t>(
        std::count_if(std::begin(last), std::end(last), [n](std::size_t p) { return p < n; }));
    if (gone == 0) return true;
    MusicEvent next[kChannels];  // the program change the channel's slot takes
    std::size_t goneBefore = gone;  // slots that go in front of p
    std::size_t after = n;           // where the event after p went
    for (std::size_t p = n; p-- > 0;) {
        MusicEvent& event = events[p];
        const std::int32_t c = channelOf(p);
        if (c >= 0 && p == last[c]) {
            events[after].delta += event.delta;
            next[c] = std::move(event);
            --goneBefore;
            continue;
        }
        const std::size_t to = p + (gone - goneBefore);
        if (c >= 0) {
            const std::int32_t slotDelta = event.delta;
            MusicEvent mine = std::move(event);
            events[to] = std::move(next[c]);
            events[to].delta = slotDelta;
            next[c] = std::move(mine);
        } else if (to != p) {
            events[to] = std::move(event);
        }
        after = to;
    }
    std::size_t front = 0;
    for (std::size_t k = kChannels; k-- > 0;) {
        if (last[k] == n) continue;
        events[front] = std::move(next[k]);
        events[front].delta = 0;
        ++front;
    }
    return true;
}

}  // namespace

void MidiF0Data::ReverseHorizontal() {
    if (state != kStateEventForm) {
        ReportError(kSongInternalError);
        return;
    }
    MidiTrackData& t = *track;
    const std::int32_t n = t.count();
    if (n == 0 || !t.events.back().IsEndOfTrack()) {
        ReportError(kSongFallback);
        return;
    }
    auto at = [&t](std::int32_t i) -> MusicEvent& { return t.events[static_cast<std::size_t>(i)]; };

    // Each note-off takes the place (and time) of its note-on, so that after
    // the mirror every note starts with its note-on again: the nearest event
    // before it of type note-on with its channel and key (velocity aside, so
    // a note-on of velocity 0 is found too). The slots holding such events
    // wait on one stack per channel and key, nearest on top, linked through
    // below; an exchange moves the top to the note-off's slot.
    NoteKeys keys;
    std::vector<std::int32_t> top(NoteKeys::kFixed, -1);
    std::vector<std::int32_t> below(static_cast<std::size_t>(n), -1);
    for (std::int32_t i = 0; i <= n - 2; ++i) {
        const MusicEvent& event = at(i);
        if (event.type != kTypeNoteOn && event.type != kTypeNoteOff) continue;
        const auto id = static_cast<std::size_t>(keys.Of(event.channel, event.key));
        if (id >= top.size()) top.resize(id + 1, -1);
        const auto slot = static_cast<std::size_t>(i);
        const std::int32_t m = top[id];
        if (IsNoteOff(event) && m >= 0) {
            t.ExchangeEvents(i, m);
            // Slot m now holds the note-off; if that is a note-on of velocity
            // 0, later searches still find it there.
            below[slot] = at(m).type == kTypeNoteOn ? m : below[static_cast<std::size_t>(m)];
            top[id] = i;
        } else if (event.type == kTypeNoteOn) {
            below[slot] = m;
            top[id] = i;
        }
    }
    // The events proper change ends; each now waits as long as the event
    // that followed it did, the first starts at once and the End of Track
    // keeps its own gap. In one walk from both ends: the slot at the back is
    // read before it is written, its delta kept for the next step.
    // What the program-change shift needs is gathered on the way.
    ShiftFacts facts(static_cast<std::size_t>(n));
    auto settled = [&](std::int32_t k) { facts.Look(at(k), static_cast<std::size_t>(k)); };
    std::int32_t i = 0;
    std::int32_t j = n - 2;
    std::int32_t behindJ = 0;  // the delta the event behind slot j had (none for the last)
    for (; i < j; ++i, --j) {
        const std::int32_t deltaJ = at(j).delta;
        const std::int32_t behindI = at(i + 1).delta;
        at(i).Swap(at(j));
        at(i).delta = behindJ;
        at(j).delta = behindI;
        behindJ = deltaJ;
        settled(i);
        settled(j);
    }
    if (i == j) {
        at(i).delta = behindJ;  // the middle event stays where it is
        settled(i);
    }
    if (n == 1) at(0).delta = 0;  // the End of Track alone
    settled(n - 1);
    if (!ShiftProgramChangesInPlace(t, facts)) ShiftProgramChanges();
}

// For each channel in turn, a placeholder is put in front of the list; the
// channel's first program change (in reversed order) takes its slot, each
// later one the slot of the one before it, and the placeholder the slot of
// the last one; the End of Track is never looked at. Exchanged events keep
// the slots' deltas, the placeholders have none. The channels' chains of
// slots never meet, so all 16 placeholders can go in front at once (channel
// 15's first) and all chains be followed in one walk; the placeholders then
// go as marked events do.
void MidiF0Data::ShiftProgramChanges() {
    MidiTrackData& t = *track;
    ShiftFacts facts(t.events.size());
    for (std::size_t p = 0; p < t.events.size(); ++p) facts.Look(t.events[p], p);
    if (ShiftProgramChangesInPlace(t, facts)) return;
    constexpr std::int32_t kChannels = 16;
    const std::size_t n = t.events.size();
    t.events.resize(n + kChannels);
    std::move_backward(t.events.begin(), t.events.begin() + static_cast<std::ptrdiff_t>(n), t.events.end());
    for (std::size_t slot = 0; slot < kChannels; ++slot) t.events[slot] = MusicEvent();
    std::int32_t placeholder[kChannels];  // the slot of each channel's placeholder
    for (std::int32_t c = 0; c < kChannels; ++c) placeholder[c] = kChannels - 1 - c;
    for (std::int32_t j = kChannels; j + 1 < t.count(); ++j) {
        const MusicEvent& event = t.events[static_cast<std::size_t>(j)];
        if (event.type != kTypeProgram || event.channel < 0 || event.channel >= kChannels) continue;
        std::int32_t& s = placeholder[event.channel];
        t.ExchangeEvents(j, s);
        s = j;
    }
    t.DropMarked();
}

}  // namespace solvane
