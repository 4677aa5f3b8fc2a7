#include "song/MidiF1Data.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "support/General.h"
#include "support/Messages.h"

namespace solvane {

void MidiF1Data::ReportError(std::uint32_t code) const { ReportModuleError(Module::kMidiF1Data, code); }

MidiF1Data::MidiF1Data(const std::string& path) {
    LoadFromFile(path);
    ReadFile();
}

MidiF1Data::MidiF1Data(MemoryBlock image, std::int32_t imageSize) {
    LoadFromImage(std::move(image), imageSize);
    ReadFile();
}

void MidiF1Data::ReadFile() {
    state = kStateImage;
    if (ReadHeader() != 0) {
        ReadTracks();
        ConvertTracks();
    }
}

int MidiF1Data::ReadHeader() {
    MidiTrackData::ResetRunningStatus();  // a new file
    if (size == 0) return 0;
    if (std::memcmp(Bytes(), "MThd", 4) != 0) {
        std::uint8_t* bytes = MutableBytes(std::max(size, kMacBinaryReach));
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
        tracks[static_cast<std::size_t>(k)].emplace(size, cursor, Bytes());
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

}  // namespace solvane
