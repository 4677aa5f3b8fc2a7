#include "song/MidiF1Data.h"

#include <cstring>

#include "song/MidiF0Data.h"
#include "support/General.h"
#include "support/Messages.h"

namespace solvane {

void MidiF1Data::ReportError(std::uint32_t code) const { ReportModuleError(Module::kMidiF1Data, code); }

MidiF1Data::MidiF1Data(const std::string& path) {
    LoadFromFile(path);
    state = kStateImage;
    if (ReadHeader() != 0) {
        ReadTracks();
        ConvertTracks();
    }
}

int MidiF1Data::ReadHeader() {
    if (size == 0) return 0;
    if (std::memcmp(Bytes(), "MThd", 4) != 0) {
        std::uint8_t* bytes = MutableBytes();
        if (bytes == nullptr || StripMacBinaryHeader(bytes, "MThd", size) == 0) {
            ReportError(kF1NoHeader);
            return 0;
        }
    }
    cursor = 8;  // the header is taken to be 6 bytes long, whatever its length says
    if (At(cursor) != 0 || At(cursor + 1) != 1) {
        ReportError(kF1NotFormat1);
        return 0;
    }
    cursor += 2;
    trackCount = (At(cursor) << 8) | At(cursor + 1);
    if (trackCount > kMaxTracks) {
        // The warning names 16, and 16 tracks are read, though 17 to 33 are
        // read as declared: the file's count is often wrong.
        ReportError(kF1TooManyTracks);
        trackCount = 16;
    }
    cursor += 2;
    division = (At(cursor) << 8) | At(cursor + 1);
    cursor += 2;
    return 1;
}

void MidiF1Data::ReadTracks() {
    if (state != kStateImage) {
        ReportError(kF1InternalError);
        return;
    }
    for (std::int32_t k = 0; k < trackCount; ++k) {
        tracks[static_cast<std::size_t>(k)] = std::make_unique<MidiTrackData>(size, cursor, Bytes());
        cursor += tracks[static_cast<std::size_t>(k)]->size;
    }
    state = kStateEventForm;
}

void MidiF1Data::ConvertTracks() {
    if (state != kStateEventForm) {
        ReportError(kF1InternalError);
        return;
    }
    for (std::int32_t k = 0; k < trackCount; ++k) {
        MidiTrackData& track = *tracks[static_cast<std::size_t>(k)];
        // A chunk that could not be read was reported when it was read; its
        // empty track has nothing to convert and merges as nothing.
        if (track.state == kStateEmpty && track.events.empty()) {
            track.state = kStateNoteForm;
        } else {
            track.ToNoteForm();
        }
    }
    state = kStateNoteForm;
}

MidiF1Data::MidiF1Data(const MidiF0Data& song) {
    if (song.state != kStateNoteForm) {
        ReportError(kF1InternalError);
        return;
    }
    division = song.division;
    for (std::int32_t k = 0; k < 16; ++k) {
        tracks[static_cast<std::size_t>(k)] = std::make_unique<MidiTrackData>(kStateNoteForm);
    }
    trackCount = 16;
    // Each channel track measures its deltas from its own previous event.
    std::int64_t pending[16] = {};
    for (const MusicEvent& event : song.track->events) {
        for (std::int64_t& sum : pending) sum += event.delta;
        if (event.IsEndOfTrack()) {
            for (std::size_t k = 0; k < 16; ++k) {
                tracks[k]->AppendEndOfTrack(static_cast<std::int32_t>(pending[k]));
                pending[k] = 0;
            }
            continue;
        }
        const std::size_t k = event.channel >= 0 && event.channel < 16 ? static_cast<std::size_t>(event.channel) : 0;
        MusicEvent copy(event);
        copy.delta = static_cast<std::int32_t>(pending[k]);
        tracks[k]->Append(std::move(copy));
        pending[k] = 0;
    }
    state = kStateNoteForm;
}

void MidiTrackData::MergeTrack(const MidiTrackData& other) {
    MidiTrackData a(*this);
    MidiTrackData b(other);
    Clear();
    std::size_t i = 0;
    std::size_t j = 0;
    // At equal times the merged-in track's events come first.
    while (i < b.events.size() || j < a.events.size()) {
        if (j >= a.events.size()) {
            Append(b.events[i++]);
        } else if (i >= b.events.size()) {
            Append(a.events[j++]);
        } else {
            MusicEvent& x = a.events[j];
            MusicEvent& y = b.events[i];
            if (x.delta >= y.delta) {
                x.delta = static_cast<std::int32_t>(std::int64_t{x.delta} - y.delta);
                Append(y);
                ++i;
            } else {
                y.delta = static_cast<std::int32_t>(std::int64_t{y.delta} - x.delta);
                Append(x);
                ++j;
            }
        }
    }
    KeepLastEndOfTrack();
}

}  // namespace solvane
