// Playing the piece back to front. Notes keep their lengths, the silence
// before the first event goes, and program changes move with the passage
// they governed so the reversed piece starts with the right voices.

#include <cstddef>

#include "song/MidiF0Data.h"

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
    // the mirror every note starts with its note-on again.
    for (std::int32_t i = 0; i <= n - 2; ++i) {
        if (!IsNoteOff(at(i))) continue;
        for (std::int32_t m = i - 1; m >= 0; --m) {
            const MusicEvent& on = at(m);
            if (on.type == kTypeNoteOn && on.channel == at(i).channel && on.key == at(i).key) {
                t.ExchangeEvents(i, m);
                break;
            }
        }
    }
    for (std::int32_t j = 0, k = n - 2; j < k; ++j, --k) t.SwapEvents(j, k);
    // Each event now waits as long as the event that followed it did; the
    // first starts at once and the End of Track keeps its own gap.
    for (std::int32_t k = n - 2; k >= 1; --k) at(k).delta = at(k - 1).delta;
    at(0).delta = 0;
    ShiftProgramChanges();
}

void MidiF0Data::ShiftProgramChanges() {
    MidiTrackData& t = *track;
    for (std::int32_t channel = 0; channel < 16; ++channel) {
        // A placeholder at the front stands for "time 0": the channel's first
        // program change (in reversed order) moves there, each later one to
        // the slot of the one before it.
        t.InsertEvent(0, 2, MusicEvent());
        std::int32_t s = 0;
        for (std::int32_t j = 0; j < t.count() - 1; ++j) {
            const MusicEvent& event = t.events[static_cast<std::size_t>(j)];
            if (event.type == kTypeProgram && event.channel == channel) {
                t.ExchangeEvents(j, s);
                s = j;
            }
        }
    }
    t.DropMarked();
}

}  // namespace solvane
