// Playing the piece back to front. Notes keep their lengths, the silence
// before the first event goes, and program changes move with the passage
// they governed so the reversed piece starts with the right voices.

#include <algorithm>
#include <cstddef>
#include <vector>

#include "song/MidiF0Data.h"
#include "track/NoteKeys.h"

namespace solvane {
namespace {

bool IsNoteOff(const MusicEvent& event) {
    return event.type == kTypeNoteOff || (event.type == kTypeNoteOn && event.velocity == 0);
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
    std::reverse(t.events.begin(), t.events.end() - 1);  // the events proper, with their deltas
    // Each event now waits as long as the event that followed it did; the
    // first starts at once and the End of Track keeps its own gap.
    for (std::int32_t k = n - 2; k >= 1; --k) at(k).delta = at(k - 1).delta;
    at(0).delta = 0;
    ShiftProgramChanges();
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
