#include "tests/reference/ReferenceForms.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <limits>
#include <utility>

#include "song/MidiFileLoader.h"
#include "support/General.h"
#include "support/MemoryBlock.h"
#include "support/Messages.h"

namespace solvane::reference {
namespace {

std::int32_t Narrow(std::int64_t value) { return static_cast<std::int32_t>(value); }

bool ListFull(const MidiTrackData& track) { return track.count() >= kTrackCapacity; }

void AddDeltaToNext(MidiTrackData& track, std::int32_t index) {
    if (index + 1 < track.count()) {
        MusicEvent& next = track.events[static_cast<std::size_t>(index) + 1];
        next.delta =
            static_cast<std::int32_t>(std::int64_t{next.delta} + track.events[static_cast<std::size_t>(index)].delta);
    }
}

bool IsNote(const MusicEvent& event) { return event.type == kTypeNoteOn || event.type == kTypeNoteOff; }
bool IsSysEx(const MusicEvent& event) { return event.type == kTypeSysEx || event.type == kTypeEscape; }

bool IsNoteOff(const MusicEvent& event) {
    return event.type == kTypeNoteOff || (event.type == kTypeNoteOn && event.velocity == 0);
}

constexpr std::int32_t kDrumChannel = 9;

}  // namespace

void ToNoteForm(MidiTrackData& track) {
    if (track.state != kStateEventForm) {
        track.ReportError(kTrackInternalError);
        return;
    }
    auto& events = track.events;
    bool tooLong = false;
    const bool fileTimes = std::all_of(events.begin(), events.end(), [](const MusicEvent& e) {
        return e.delta >= 0 && e.delta <= static_cast<std::int32_t>(kMaxVarLen);
    });
    // Pairing, first in first out: each note-on takes the first later
    // note-off of its channel and key that no earlier note-on has taken.
    for (std::int32_t i = 0; i < track.count(); ++i) {
        MusicEvent& note = events[static_cast<std::size_t>(i)];
        if (note.type != kTypeNoteOn) continue;
        note.type = kTypeNote;
        std::int64_t sum = 0;
        for (std::int32_t j = i + 1; j < track.count(); ++j) {
            const MusicEvent& off = events[static_cast<std::size_t>(j)];
            sum += off.delta;
            if (off.type == kTypeNoteOff && off.channel == note.channel && off.key == note.key) {
                const bool saturate = fileTimes && sum > std::numeric_limits<std::int32_t>::max();
                tooLong = tooLong || saturate;
                events[static_cast<std::size_t>(i)].duration =
                    saturate ? std::numeric_limits<std::int32_t>::max() : Narrow(sum);
                track.RemoveAt(j);
                break;
            }
        }
    }
    for (std::int32_t i = 0; i < track.count();) {  // note-offs that closed nothing
        if (events[static_cast<std::size_t>(i)].type == kTypeNoteOff) {
            track.RemoveAt(i);
        } else {
            ++i;
        }
    }
    if (tooLong) track.ReportError(kTrackInternalError);
    for (MusicEvent& event : events) {
        if (event.type != kTypeNote) continue;
        if (event.duration == 0) {
            event.type = kTypeMarked;  // never closed, or closed at once: nothing to hear
        } else if (event.duration < 0) {
            track.ReportError(kTrackInternalError);
        }
    }
    DropMarked(track);
    track.state = kStateNoteForm;
}

void DropMarked(MidiTrackData& track) {
    auto& events = track.events;
    for (std::int32_t i = 0; i < track.count();) {
        if (events[static_cast<std::size_t>(i)].type != kTypeMarked) {
            ++i;
            continue;
        }
        if (i + 1 < track.count()) {
            MusicEvent& next = events[static_cast<std::size_t>(i) + 1];
            next.delta = Narrow(std::int64_t{next.delta} + events[static_cast<std::size_t>(i)].delta);
            if (next.delta < 0) track.ReportError(kTrackInternalError);
        }
        events.erase(events.begin() + i);
    }
}

void ToEventForm(MidiTrackData& track) {
    if (track.state != kStateNoteForm) {
        track.ReportError(kTrackInternalError);
        return;
    }
    auto& events = track.events;
    bool reportedFull = false;
    for (std::int32_t i = 0; i < track.count(); ++i) {
        if (events[static_cast<std::size_t>(i)].type != kTypeNote) continue;
        if (ListFull(track)) {
            // No room for the note-off: the note goes, with a report, rather
            // than sounding on without end.
            if (!reportedFull) track.ReportError(kTrackTooMuchData);
            reportedFull = true;
            track.RemoveAt(i);
            --i;
            continue;
        }
        MusicEvent& note = events[static_cast<std::size_t>(i)];
        note.type = kTypeNoteOn;
        std::int64_t d = note.duration;
        note.duration = 0;
        if (d <= 0) {
            track.ReportError(kTrackInternalError);
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
            b = track.count();
            for (std::int32_t j = i + 1; j < track.count(); ++j) {
                s += events[static_cast<std::size_t>(j)].delta;
                if (s >= d) {
                    b = j;
                    break;
                }
            }
        }
        if (b < track.count()) {
            MusicEvent& at = events[static_cast<std::size_t>(b)];
            off.delta = Narrow(at.delta - (s - d));
            at.delta = Narrow(s - d);
        } else {
            off.delta = Narrow(d - s);
        }
        events.insert(events.begin() + b, std::move(off));
    }
    // The End of Track goes last, behind notes that outlast it.
    for (std::int32_t i = 0; i < track.count(); ++i) {
        if (!events[static_cast<std::size_t>(i)].IsEndOfTrack()) continue;
        if (i + 1 < track.count()) {
            AddDeltaToNext(track, i);
            MusicEvent end = std::move(events[static_cast<std::size_t>(i)]);
            end.delta = 0;
            events.erase(events.begin() + i);
            events.push_back(std::move(end));
        }
        break;
    }
    track.state = kStateEventForm;
}

void KeepLastEndOfTrack(MidiTrackData& track) {
    for (std::int32_t i = 0; i < track.count() - 1;) {
        if (track.events[static_cast<std::size_t>(i)].IsEndOfTrack()) {
            track.RemoveAt(i);
        } else {
            ++i;
        }
    }
}

void MergeTrack(MidiTrackData& track, const MidiTrackData& other) {
    MidiTrackData a(track);
    MidiTrackData b(other);
    track.Clear();
    std::size_t i = 0;
    std::size_t j = 0;
    // At equal times the merged-in track's events come first.
    while (i < b.events.size() || j < a.events.size()) {
        if (j >= a.events.size()) {
            track.Append(b.events[i++]);
        } else if (i >= b.events.size()) {
            track.Append(a.events[j++]);
        } else {
            MusicEvent& x = a.events[j];
            MusicEvent& y = b.events[i];
            if (x.delta >= y.delta) {
                x.delta = static_cast<std::int32_t>(std::int64_t{x.delta} - y.delta);
                track.Append(y);
                ++i;
            } else {
                y.delta = static_cast<std::int32_t>(std::int64_t{y.delta} - x.delta);
                track.Append(x);
                ++j;
            }
        }
    }
    KeepLastEndOfTrack(track);
}

void SortSimultaneous(MidiTrackData& track) {
    if (track.state != kStateEventForm) {
        track.ReportError(kTrackInternalError);
        return;
    }
    // Controllers, programs, bends and meta events go to the front of their
    // group of simultaneous events, so a program is set before the note it voices.
    std::int32_t g = 0;
    for (std::int32_t j = 0; j < track.count();) {
        const MusicEvent& event = track.events[static_cast<std::size_t>(j)];
        if (event.delta != 0) {
            g = j;
            ++j;
        } else if (IsNote(event) || event.IsEndOfTrack()) {
            ++j;
        } else {
            track.ExchangeEvents(j, g);
            ++g;
            j = g;
        }
    }
}

void RaiseSysex(MidiTrackData& track) {
    std::int32_t g = 0;
    for (std::int32_t j = 0; j < track.count();) {
        const MusicEvent& event = track.events[static_cast<std::size_t>(j)];
        if (event.delta != 0) {
            g = j;
            ++j;
        } else if (!IsSysEx(event)) {
            ++j;
        } else {
            track.ExchangeEvents(j, g);
            ++g;
            j = g;
        }
    }
}

void OffsBeforeOns(MidiTrackData& track) {
    if (track.state != kStateEventForm) {
        track.ReportError(kTrackInternalError);
        return;
    }
    auto& events = track.events;
    for (std::int32_t i = 0; i < track.count(); ++i) {
        if (events[static_cast<std::size_t>(i)].type != kTypeNoteOff) continue;
        for (std::int32_t n = i - 1; n >= 0 && events[static_cast<std::size_t>(n) + 1].delta == 0; --n) {
            if (events[static_cast<std::size_t>(n)].type == kTypeNoteOn) {
                track.ExchangeEvents(i, n);
                break;
            }
        }
    }
}

void ToNoteForm(MidiF0Data& song) {
    if (song.state != kStateEventForm) {
        song.ReportError(kSongInternalError);
        return;
    }
    ToNoteForm(*song.track);
    song.state = kStateNoteForm;
}

void ToEventForm(MidiF0Data& song) {
    if (song.state != kStateNoteForm) {
        song.ReportError(kSongInternalError);
        return;
    }
    ToEventForm(*song.track);
    song.state = kStateEventForm;
}

void ReverseHorizontal(MidiF0Data& song) {
    if (song.state != kStateEventForm) {
        song.ReportError(kSongInternalError);
        return;
    }
    MidiTrackData& t = *song.track;
    const std::int32_t n = t.count();
    if (n == 0 || !t.events.back().IsEndOfTrack()) {
        song.ReportError(kSongFallback);
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
    ShiftProgramChanges(song);
}

void ShiftProgramChanges(MidiF0Data& song) {
    MidiTrackData& t = *song.track;
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
    DropMarked(t);
}

void ReverseVertical(MidiF0Data& song) {
    for (std::int32_t channel = 0; channel < 16; ++channel) {
        if (channel == kDrumChannel) continue;
        std::int32_t low = 127;
        std::int32_t high = 0;
        for (const MusicEvent& event : song.track->events) {
            if (!IsNote(event) || event.channel != channel) continue;
            high = std::max(high, event.key);
            low = std::min(low, event.key);
        }
        // Twice the multiple of 12 at or below the middle of the range.
        const std::int32_t axis = 24 * ((low + high) / 24);
        for (MusicEvent& event : song.track->events) {
            if (!IsNote(event) || event.channel != channel) continue;
            event.key = std::clamp(axis - event.key, 0, 127);
        }
    }
}

void WriteSmf(MidiF0Data& song) {
    if (song.state != kStateEventForm) {
        song.ReportError(kSongInternalError);
        return;
    }
    song.WriteHeader();
    SortSimultaneous(*song.track);
    RaiseSysex(*song.track);
    OffsBeforeOns(*song.track);
    song.track->WriteTrack();
    std::uint8_t* bytes = song.MutableBytes();
    if (bytes != nullptr) {
        const std::int32_t chunk = std::min(song.track->size, kImageCapacity - 14);
        std::memcpy(bytes + 14, song.track->Bytes(), static_cast<std::size_t>(chunk));
        song.size = 14 + chunk;
    }
    song.state = kStateImage;
}

namespace {

// A multi-track form that has read nothing yet: made from a file without
// bytes, which reads silently as empty.
std::unique_ptr<MidiF1Data> ReadFormat1(const std::string& path) {
    auto reader = std::make_unique<MidiF1Data>(std::string("/dev/null"));
    reader->LoadFromFile(path);
    reader->state = kStateImage;
    if (reader->ReadHeader() != 0) {
        reader->ReadTracks();
        // ConvertTracks, with the plain note form.
        if (reader->state != kStateEventForm) {
            reader->ReportError(kF1InternalError);
        } else {
            for (std::int32_t k = 0; k < reader->trackCount; ++k) {
                MidiTrackData& track = *reader->tracks[static_cast<std::size_t>(k)];
                if (track.state == kStateEmpty && track.events.empty()) {
                    track.state = kStateNoteForm;
                } else {
                    ToNoteForm(track);
                }
            }
            reader->state = kStateNoteForm;
        }
    }
    return reader;
}

// The song's file constructor, with the plain note form.
std::unique_ptr<MidiF0Data> ReadFormat0(const std::string& path) {
    auto song = std::make_unique<MidiF0Data>(kStateEmpty);
    song->track = std::make_unique<MidiTrackData>();
    song->LoadFile(path);
    song->ParseHeader();
    song->ParseTrack();
    ToNoteForm(*song);
    return song;
}

void ReportLoader(std::uint32_t code) { ReportModuleError(Module::kMidiFileLoader, code); }

}  // namespace

Loaded Load(const std::string& path) {
    Loaded loaded;
    MemoryBlock raw;
    std::unique_ptr<MidiF1Data> reader;
    if (ReadWholeFile(path, raw, loaded.size) == 0) return loaded;
    switch (MidiF0Data::DetectFormat(raw.data(), loaded.size)) {
        case 0: {
            const std::unique_ptr<MidiF0Data> single = ReadFormat0(path);
            reader = std::make_unique<MidiF1Data>(*single);
            break;
        }
        case 1:
            reader = ReadFormat1(path);
            if (reader->trackCount == 0) {
                reader.reset();
                loaded.size = 0;
            }
            break;
        default:
            ReportLoader(kLoaderNotMidi);
            loaded.size = 0;
            break;
    }
    if (loaded.size == 0) return loaded;
    // BuildSong.
    if (!reader || reader->state != kStateNoteForm) {
        ReportLoader(kLoaderInternalError);
        return loaded;
    }
    loaded.song = std::make_unique<MidiF0Data>(kStateNoteForm);
    loaded.song->division = reader->division;
    for (std::int32_t k = reader->trackCount - 1; k >= 0; --k) {
        MergeTrack(*loaded.song->track, *reader->tracks[static_cast<std::size_t>(k)]);
    }
    reader.reset();
    return loaded;
}

}  // namespace solvane::reference
