// The two forms of a track's list and the moves between them: event form
// (note-on and note-off apart, as a file stores them) and note form (one
// event per note, carrying its duration).

#include <cstddef>
#include <cstdint>
#include <utility>

#include "track/MidiTrackData.h"

namespace solvane {
namespace {

std::int32_t Narrow(std::int64_t value) { return static_cast<std::int32_t>(value); }

}  // namespace

void MidiTrackData::ToNoteForm() {
    if (state != kStateEventForm) {
        ReportError(kTrackInternalError);
        return;
    }
    // Pairing, first in first out: each note-on takes the first later
    // note-off of its channel and key that no earlier note-on has taken.
    for (std::int32_t i = 0; i < count(); ++i) {
        MusicEvent& note = events[static_cast<std::size_t>(i)];
        if (note.type != kTypeNoteOn) continue;
        note.type = kTypeNote;
        std::int64_t sum = 0;
        for (std::int32_t j = i + 1; j < count(); ++j) {
            const MusicEvent& off = events[static_cast<std::size_t>(j)];
            sum += off.delta;
            if (off.type == kTypeNoteOff && off.channel == note.channel && off.key == note.key) {
                events[static_cast<std::size_t>(i)].duration = Narrow(sum);
                RemoveAt(j);
                break;
            }
        }
    }
    for (std::int32_t i = 0; i < count();) {  // note-offs that closed nothing
        if (events[static_cast<std::size_t>(i)].type == kTypeNoteOff) {
            RemoveAt(i);
        } else {
            ++i;
        }
    }
    for (MusicEvent& event : events) {
        if (event.type != kTypeNote) continue;
        if (event.duration == 0) {
            event.type = kTypeMarked;  // never closed, or closed at once: nothing to hear
        } else if (event.duration < 0) {
            ReportError(kTrackInternalError);
        }
    }
    DropMarked();
    state = kStateNoteForm;
}

void MidiTrackData::DropMarked() {
    for (std::int32_t i = 0; i < count();) {
        if (events[static_cast<std::size_t>(i)].type != kTypeMarked) {
            ++i;
            continue;
        }
        if (i + 1 < count()) {
            MusicEvent& next = events[static_cast<std::size_t>(i) + 1];
            next.delta = Narrow(std::int64_t{next.delta} + events[static_cast<std::size_t>(i)].delta);
            if (next.delta < 0) ReportError(kTrackInternalError);
        }
        events.erase(events.begin() + i);
    }
}

void MidiTrackData::ToEventForm() {
    if (state != kStateNoteForm) {
        ReportError(kTrackInternalError);
        return;
    }
    bool reportedFull = false;
    for (std::int32_t i = 0; i < count(); ++i) {
        if (events[static_cast<std::size_t>(i)].type != kTypeNote) continue;
        if (ListFull()) {
            // No room for the note-off: the note goes, with a report, rather
            // than sounding on without end.
            if (!reportedFull) ReportError(kTrackTooMuchData);
            reportedFull = true;
            RemoveAt(i);
            --i;
            continue;
        }
        MusicEvent& note = events[static_cast<std::size_t>(i)];
        note.type = kTypeNoteOn;
        std::int64_t d = note.duration;
        note.duration = 0;
        if (d <= 0) {
            ReportError(kTrackInternalError);
            d = 0;
        }
        MusicEvent off;
        off.type = kTypeNoteOff;
        off.key = note.key;
        off.channel = note.channel;
        off.velocity = 0x40;
        // The note-off goes before the first event at or after the note's end,
        // so it precedes a note struck again at that very moment.
        std::int32_t b = i;
        std::int64_t s = 0;
        if (d > 0) {
            b = count();
            for (std::int32_t j = i + 1; j < count(); ++j) {
                s += events[static_cast<std::size_t>(j)].delta;
                if (s >= d) {
                    b = j;
                    break;
                }
            }
        }
        if (b < count()) {
            MusicEvent& at = events[static_cast<std::size_t>(b)];
            off.delta = Narrow(at.delta - (s - d));
            at.delta = Narrow(s - d);
        } else {
            off.delta = Narrow(d - s);
        }
        events.insert(events.begin() + b, std::move(off));
    }
    // The End of Track goes last, behind notes that outlast it.
    for (std::int32_t i = 0; i < count(); ++i) {
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
    state = kStateEventForm;
}

}  // namespace solvane
