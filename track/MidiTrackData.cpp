#include "track/MidiTrackData.h"

#include <algorithm>
#include <iterator>
#include <utility>

#include "support/Messages.h"

namespace solvane {
namespace {

// The once-per-track warnings, each with its flag.
constexpr std::uint32_t kWarnings[] = {kTrackUndefinedEvent, kTrackSeveralVolumes, kTrackSeveralPans,
                                       kTrackOversizedEvent};
bool g_warned[std::size(kWarnings)] = {};

}  // namespace

void MidiTrackData::ReportError(std::uint32_t code) const { ReportModuleError(Module::kMidiTrackData, code); }

void MidiTrackData::ReportTrackWarning(std::uint32_t code) {
    if (code == 0) {
        std::fill(std::begin(g_warned), std::end(g_warned), false);
        return;
    }
    const auto slot = static_cast<std::size_t>(std::find(std::begin(kWarnings), std::end(kWarnings), code) - kWarnings);
    if (slot < std::size(kWarnings)) {
        if (g_warned[slot]) return;
        g_warned[slot] = true;
    }
    ShowTrackWarning(code);
}

void MidiTrackData::ResetReaderState() {
    ResetRunningStatus();
    ReportTrackWarning(0);
}

MidiTrackData::MidiTrackData(const MidiTrackData& other) : ByteImage() {
    if (other.state != kStateNoteForm) {
        ReportError(kTrackInternalError);
        return;
    }
    // A copy is made to be brought to event form, which adds a note-off for
    // each note: room for them now spares moving the whole list later.
    const auto notes = static_cast<std::size_t>(std::count_if(
        other.events.begin(), other.events.end(), [](const MusicEvent& e) { return e.type == kTypeNote; }));
    events.reserve(other.events.size() + notes);
    events.assign(other.events.begin(), other.events.end());
    state = kStateNoteForm;
}

void MidiTrackData::AppendEndOfTrack(std::int32_t delta) {
    if (!events.empty() && events.back().IsEndOfTrack()) return;
    Append(EndOfTrack(delta));
}

MusicEvent MidiTrackData::EndOfTrack(std::int32_t delta) {
    MusicEvent end(delta);
    end.type = kTypeMeta;
    end.subtype = kMetaEndOfTrack;
    end.data = {0xFF, 0x2F, 0x00};
    end.length = 3;
    return end;
}

void MidiTrackData::AddDeltaToNext(std::int32_t index) {
    if (index + 1 < count()) {
        MusicEvent& next = events[static_cast<std::size_t>(index) + 1];
        next.delta = static_cast<std::int32_t>(std::int64_t{next.delta} + events[static_cast<std::size_t>(index)].delta);
    }
}

std::int32_t MidiTrackData::RemoveAt(std::int32_t index) {
    if (!InRange(index)) {
        ReportError(kTrackInternalError);
        return count();
    }
    AddDeltaToNext(index);
    events.erase(events.begin() + index);
    return count();
}

void MidiTrackData::KeepLastEndOfTrack() {
    // Every End of Track but the last event goes, passing its delta on to the
    // event after it at the moment it goes; the others close up behind.
    const std::size_t n = events.size();
    // Nothing moves before the first End of Track that goes: merged lists
    // have theirs near the end.
    std::size_t first = 0;
    while (first + 1 < n && !events[first].IsEndOfTrack()) ++first;
    std::size_t kept = first;
    for (std::size_t k = first; k < n; ++k) {
        if (k + 1 < n && events[k].IsEndOfTrack()) {
            MusicEvent& next = events[k + 1];
            next.delta = static_cast<std::int32_t>(std::int64_t{next.delta} + events[k].delta);
            MusicEvent gone = std::move(events[k]);  // destroyed now, as the removal did
            continue;
        }
        if (kept != k) events[kept] = std::move(events[k]);
        ++kept;
    }
    events.erase(events.begin() + static_cast<std::ptrdiff_t>(kept), events.end());
}

void MidiTrackData::ExchangeEvents(std::int32_t a, std::int32_t b) {
    SwapEvents(a, b);
    if (a != b && InRange(a) && InRange(b)) {
        std::swap(events[static_cast<std::size_t>(a)].delta, events[static_cast<std::size_t>(b)].delta);
    }
}

void MidiTrackData::SwapEvents(std::int32_t a, std::int32_t b) {
    if (a == b) return;
    if (!InRange(a) || !InRange(b)) {
        ReportError(kTrackInternalError);
        return;
    }
    events[static_cast<std::size_t>(a)].Swap(events[static_cast<std::size_t>(b)]);
}

void MidiTrackData::InsertEvent(std::int32_t index, std::int32_t mode, MusicEvent event) {
    const std::int32_t at = mode == 2 ? index : index + 1;
    if (at < 0 || at > count()) {
        ReportError(kTrackInternalError);
        return;
    }
    events.insert(events.begin() + at, std::move(event));
}

// Playback runs at 96 ticks per quarter note. The carry keeps each event's
// time as near its old one as the truncating division allows; a time that
// a delta cannot hold at the new division is held at the longest delta.
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
        event.delta = static_cast<std::int32_t>(std::min(d, kLongestTime));
        const std::int64_t duration = std::int64_t{event.duration} * to / from;
        event.duration = static_cast<std::int32_t>(std::clamp<std::int64_t>(duration, 1, kLongestTime));  // every note lasts a tick
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

}  // namespace solvane
