// Bringing a song copy into shape for the sequencer: every play runs at 96
// ticks per quarter note, and the whole bars of silence before the first
// note are taken away.

#include <cstddef>
#include <cstdint>

#include "song/MidiF0Data.h"

namespace solvane {

void MidiTrackData::Rescale(std::int32_t oldDivision, std::int32_t newDivision) {
    if (oldDivision == newDivision) return;
    if (state != kStateNoteForm || oldDivision <= 0 || newDivision <= 0) {
        ReportError(kTrackInternalError);  // a division of 0 has no ticks to convert
        return;
    }
    const std::int64_t from = oldDivision;
    const std::int64_t to = newDivision;
    std::int64_t carry = 0;
    for (MusicEvent& event : events) {
        const std::int64_t x = event.delta + carry;
        const std::int64_t d = x * to / from;
        carry = x - d * from / to;
        event.delta = static_cast<std::int32_t>(d);
        const std::int64_t duration = std::int64_t{event.duration} * to / from;
        event.duration = duration == 0 ? 1 : static_cast<std::int32_t>(duration);  // every note lasts a tick
    }
}

int MidiTrackData::FindTimeSignature(std::int32_t& code) const {
    for (const MusicEvent& event : events) {
        if (event.type == kTypeMeta && event.subtype == kMetaTimeSignature) {
            code = event.value;
            return 1;
        }
    }
    return 0;
}

void MidiF0Data::ChangeDivision(std::int32_t newDivision) {
    track->Rescale(division, newDivision);
    division = newDivision;
}

std::int32_t MidiF0Data::BarLength() const {
    constexpr std::int32_t kOneBarAt96 = 384;
    std::int32_t code = 0;
    if (track->FindTimeSignature(code) == 0 || code == 0 || division == 0) return kOneBarAt96;
    switch (code) {
        case 4: return 4 * division;
        case 3:
        case 6: return 3 * division;
        case 2: return 2 * division;
        default: return kOneBarAt96;
    }
}

void MidiF0Data::TrimLeadingBars() {
    std::int32_t firstNote = 0;
    if (state == kStateEventForm) {
        firstNote = kTypeNoteOn;
    } else if (state == kStateNoteForm) {
        firstNote = kTypeNote;
    } else {
        ReportError(kSongInternalError);
        return;
    }
    std::int64_t t = 0;
    for (const MusicEvent& event : track->events) {
        t += event.delta;
        if (event.type == firstNote) break;
    }
    const std::int64_t bar = BarLength();
    ClearTimeUpTo(static_cast<std::int32_t>(t / bar * bar));
}

void MidiF0Data::ClearTimeUpTo(std::int32_t ticks) {
    std::int64_t sum = 0;
    for (MusicEvent& event : track->events) {
        sum += event.delta;
        if (sum <= ticks) {
            event.delta = 0;
        } else {
            event.delta = static_cast<std::int32_t>(sum - ticks);
            break;
        }
    }
}

}  // namespace solvane
