// Playing the piece back to front. Notes keep their lengths, the silence
// before the first event goes, and program changes move with the passage
// they governed so the reversed piece starts with the right voices.

#include "transform/ReverseHorizontal.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "track/NoteKeys.h"

namespace solvane {
namespace {

constexpr std::int32_t kChannels = 16;

bool IsNoteOff(const MusicEvent& event) {
    return event.type == kTypeNoteOff || (event.type == kTypeNoteOn && event.velocity == 0);
}

}  // namespace

bool ReverseHorizontal(MidiTrackData& t) {
    const std::int32_t n = t.count();
    if (n == 0 || !t.events.back().IsEndOfTrack()) return false;
    auto at = [&t](std::int32_t i) -> MusicEvent& { return t.events[static_cast<std::size_t>(i)]; };

    // Each note-off takes the place (and time) of its note-on, so that after
    // the mirror every note starts with its note-on again: the nearest event
    // before it of type note-on with its channel and key (velocity aside, so
    // a note-on of velocity 0 is found too). The slots holding such events
    // wait on one stack per channel and key, nearest on top, linked through
    // below; an exchange moves the top to the note-off's slot.
    NoteKeys keys;
    std::vector<std::int32_t> top;  // grows to the largest key met: most songs use few
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
    // The events proper change ends, each with its own delta; then each waits
    // as long as the event that followed it did, the first starts at once and
    // the End of Track keeps its own gap.
    std::reverse(t.events.begin(), t.events.end() - 1);
    for (std::int32_t k = n - 2; k >= 1; --k) at(k).delta = at(k - 1).delta;
    at(0).delta = 0;
    ShiftProgramChanges(t);
    return true;
}

// Each channel's first program change (in the reversed order) goes to the
// front at time 0, each later one to the slot (and time) of the one before
// it, and the slot of its last one goes, passing its delta on to the event
// after it; the End of Track is never looked at. At the front the channels'
// first program changes stand in descending channel order.
void ShiftProgramChanges(MidiTrackData& t) {
    std::vector<MusicEvent>& events = t.events;
    const std::size_t n = events.size();
    constexpr std::size_t kNone = SIZE_MAX;
    std::size_t previous[kChannels];  // each channel's slot that waits for its next program change
    std::fill(std::begin(previous), std::end(previous), kNone);
    MusicEvent first[kChannels];
    for (std::size_t p = 0; p + 1 < n; ++p) {
        MusicEvent& event = events[p];
        if (event.type != kTypeProgram || event.channel < 0 || event.channel >= kChannels) continue;
        const auto c = static_cast<std::size_t>(event.channel);
        // The event leaves its slot; the slot keeps its delta for whoever takes it.
        MusicEvent moving = std::move(event);
        if (previous[c] == kNone) {
            first[c] = std::move(moving);
            first[c].delta = 0;
        } else {
            MusicEvent& slot = events[previous[c]];
            moving.delta = slot.delta;
            slot = std::move(moving);
        }
        previous[c] = p;
    }
    std::vector<std::size_t> gone;
    for (const std::size_t p : previous) {
        if (p != kNone) gone.push_back(p);
    }
    if (gone.empty()) return;
    std::sort(gone.begin(), gone.end());
    // As removals do, in the list's order: each slot's delta joins the next one's.
    for (const std::size_t p : gone) {
        if (p + 1 >= n) continue;
        MusicEvent& next = events[p + 1];
        next.delta = static_cast<std::int32_t>(std::int64_t{next.delta} + events[p].delta);
        if (next.delta < 0) t.ReportError(kTrackInternalError);
    }
    // From the back, each event moves up by the first program changes in
    // front less the slots that go before it, so no slot is written before
    // it is read; there are as many of each.
    std::size_t goneBefore = gone.size();
    for (std::size_t p = n; p-- > 0;) {
        if (goneBefore > 0 && gone[goneBefore - 1] == p) {
            --goneBefore;
            continue;
        }
        const std::size_t to = p + gone.size() - goneBefore;
        if (to != p) events[to] = std::move(events[p]);
    }
    std::size_t front = 0;
    for (std::size_t c = kChannels; c-- > 0;) {
        if (previous[c] != kNone) events[front++] = std::move(first[c]);
    }
}

}  // namespace solvane
