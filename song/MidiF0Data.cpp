#include "song/MidiF0Data.h"

#include <cstring>

#include "support/Messages.h"

namespace solvane {
namespace {

bool IsHeaderId(const std::uint8_t* bytes) { return std::memcmp(bytes, "MThd", 4) == 0; }

}  // namespace

void MidiF0Data::ReportError(std::uint32_t code) const { ReportModuleError(Module::kMidiF0Data, code); }

MidiF0Data::MidiF0Data(std::int32_t state)
    : state(state), track(std::make_unique<MidiTrackData>(state)) {}

MidiF0Data::MidiF0Data(const std::string& path) : track(std::make_unique<MidiTrackData>()) {
    LoadFile(path);
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
    if (!IsHeaderId(Bytes() + cursor)) {
        // A 128-byte prefix (a MacBinary header) in front of the file.
        if (cursor + 132 <= kImageCapacity && size - cursor >= 132 && IsHeaderId(Bytes() + cursor + 128)) {
            std::uint8_t* bytes = MutableBytes();
            std::memmove(bytes + cursor, bytes + cursor + 128, static_cast<std::size_t>(size - cursor - 128));
            size -= 128;
        } else {
            ReportError(kSongNoHeader);
        }
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

void MidiF0Data::ToNoteForm() {
    if (state != kStateEventForm) {
        ReportError(kSongInternalError);
        return;
    }
    track->ToNoteForm();
    state = kStateNoteForm;
}

void MidiF0Data::ToEventForm() {
    if (state != kStateNoteForm) {
        ReportError(kSongInternalError);
        return;
    }
    track->ToEventForm();
    state = kStateEventForm;
}

int MidiF0Data::DetectFormat(std::uint8_t* image, std::int32_t size) {
    if (!IsHeaderId(image) && size >= 132 && IsHeaderId(image + 128)) {
        std::memmove(image, image + 128, static_cast<std::size_t>(size - 128));
    }
    // Judged by the format field alone, found or not: whoever reads the file
    // next reports a missing header itself.
    if (image[8] != 0) return -1;
    if (image[9] == 0) return 0;
    if (image[9] == 1) return 1;
    return -1;
}

}  // namespace solvane
