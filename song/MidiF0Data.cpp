#include "song/MidiF0Data.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <utility>

#include "support/Messages.h"
#include "transform/ReverseHorizontal.h"
#include "transform/ReverseVertical.h"

namespace solvane {
namespace {

bool IsHeaderId(const std::uint8_t* bytes) { return std::memcmp(bytes, "MThd", 4) == 0; }

}  // namespace

void MidiF0Data::ReportError(std::uint32_t code) const { ReportModuleError(Module::kMidiF0Data, code); }

MidiF0Data::MidiF0Data(std::int32_t state)
    : state(state), track(std::make_unique<MidiTrackData>(state)) {}

MidiF0Data::MidiF0Data(const std::string& path) : track(std::make_unique<MidiTrackData>()) {
    LoadFile(path);
    ReadSong();
}

MidiF0Data::MidiF0Data(MemoryBlock image, std::int32_t imageSize) : track(std::make_unique<MidiTrackData>()) {
    LoadFromImage(std::move(image), imageSize);
    state = kStateImage;
    ReadSong();
}

void MidiF0Data::ReadSong() {
    ParseHeader();
    ParseTrack();
    ToNoteForm();
}

MidiF0Data::MidiF0Data(const MidiF0Data& other)
    : ByteImage(), division(other.division), state(other.state),
      track(std::make_unique<MidiTrackData>(*other.track)) {}

int MidiF0Data::LoadFile(const std::string& path) {
    const int result = LoadFromFile(path);
    state = kStateImage;
    return result;
}

int MidiF0Data::ParseHeader() {
    MidiTrackData::ResetRunningStatus();  // a new file
    if (size == 0) return 0;
    // Without "MThd" here, a 128-byte prefix (a MacBinary header) may stand in front of it.
    if (!IsHeaderId(Bytes() + cursor) &&
        !(cursor == 0 && size >= 132 && StripMacBinaryHeader(MutableBytes(std::max(size, kMacBinaryReach)), "MThd", size) != 0)) {
        ReportError(kSongNoHeader);
    }
    cursor += 8;  // the header's length is not checked
    if (At(cursor) != 0 || At(cursor + 1) != 0) {
        ReportError(kSongNotFormat0);
        return 0;
    }
    cursor += 2;
    if (At(cursor) != 0 || At(cursor + 1) != 1) {
        ReportError(kSongBadTrackCount);
        return 0;
    }
    cursor += 2;
    division = (At(cursor) << 8) | At(cursor + 1);
    cursor += 2;
    return 1;
}

void MidiF0Data::ParseTrack() {
    if (state != kStateImage) {
        ReportError(kSongInternalError);
        return;
    }
    track = std::make_unique<MidiTrackData>(size, cursor, Bytes());
    cursor += track->size;
    state = kStateEventForm;
}

void MidiF0Data::ToNoteForm() { Convert(kStateEventForm, &MidiTrackData::ToNoteForm, kStateNoteForm); }

void MidiF0Data::ToEventForm() { Convert(kStateNoteForm, &MidiTrackData::ToEventForm, kStateEventForm); }

// The song's state follows the conversion whatever the track made of it;
// the track's own state tells what happened to it.
void MidiF0Data::Convert(std::int32_t from, void (MidiTrackData::*conversion)(), std::int32_t to) {
    if (state != from) {
        ReportError(kSongInternalError);
        return;
    }
    ((*track).*conversion)();
    state = to;
}

int MidiF0Data::DetectFormat(std::uint8_t* image, std::int32_t size) {
    if (!IsHeaderId(image) && size >= 132) StripMacBinaryHeader(image, "MThd", size);  // size is a copy
    // Judged by the format field alone, found or not: whoever reads the file
    // next reports a missing header itself.
    if (image[8] != 0) return -1;
    if (image[9] == 0) return 0;
    if (image[9] == 1) return 1;
    return -1;
}

void MidiF0Data::WriteSmf() {
    if (state != kStateEventForm) {
        ReportError(kSongInternalError);
        return;
    }
    WriteHeader();
    track->SortSimultaneous();
    track->RaiseSysex();
    track->OffsBeforeOns();
    track->WriteTrack();
    // The image grows to what was written (a refused track leaves the
    // track's image as it was, empty for every copy).
    std::uint8_t* bytes = MutableBytes(14 + track->size);
    if (bytes != nullptr) {
        const std::int32_t chunk = std::min(track->size, kImageCapacity - 14);
        std::memcpy(bytes + 14, track->Bytes(), static_cast<std::size_t>(chunk));
        size = 14 + chunk;
    }
    state = kStateImage;
}

void MidiF0Data::WriteHeader() {
    std::uint8_t* bytes = MutableBytes(14);
    if (bytes == nullptr) return;
    static constexpr std::uint8_t kHeader[12] = {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 0, 0, 1};
    std::memcpy(bytes, kHeader, sizeof kHeader);
    bytes[12] = static_cast<std::uint8_t>((division >> 8) & 0xFF);
    bytes[13] = static_cast<std::uint8_t>(division & 0xFF);
}

void MidiF0Data::ReverseHorizontal() {
    if (state != kStateEventForm) {
        ReportError(kSongInternalError);
        return;
    }
    if (!solvane::ReverseHorizontal(*track)) ReportError(kSongFallback);
}

void MidiF0Data::ShiftProgramChanges() { solvane::ShiftProgramChanges(*track); }

void MidiF0Data::ReverseVertical() { solvane::ReverseVertical(*track); }

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

// The whole bars of silence before the first note are taken away.
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
