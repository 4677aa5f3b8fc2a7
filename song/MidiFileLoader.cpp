#include "song/MidiFileLoader.h"

#include <algorithm>
#include <utility>
#include <vector>

#include "support/General.h"
#include "support/Messages.h"

namespace solvane {

void MidiFileLoader::ReportError(std::uint32_t code) const { ReportModuleError(Module::kMidiFileLoader, code); }

MidiFileLoader::MidiFileLoader() {
    std::string path;
    if (AskOpenFileName("mid", "SMF files|*.mid|", path) != 0) Load(path);
}

MidiFileLoader::MidiFileLoader(const std::string& path) { Load(path); }

MidiFileLoader::MidiFileLoader(const std::string& path, AndBuildSong) {
    Load(path);
    if (size != 0) BuildSong();
}

MidiFileLoader::MidiFileLoader(const std::string& name, const std::uint8_t* bytes, std::size_t count) {
    LoadBytes(name, bytes, count);
}

void MidiFileLoader::Load(const std::string& path) {
    Forget(path);
    if (ReadWholeFile(path, raw, size) == 0) return;
    ReadImage();
}

void MidiFileLoader::LoadBytes(const std::string& name, const std::uint8_t* bytes, std::size_t count) {
    Forget(name);
    MemorySource source(bytes, count);
    if (ReadWholeImage(source, static_cast<std::int64_t>(std::min<std::size_t>(count, kImageCapacity)), raw, size) == 0) {
        return;
    }
    ReadImage();
}

void MidiFileLoader::Forget(const std::string& name) {
    reader.reset();
    song.reset();
    size = 0;
    path = name;
}

void MidiFileLoader::ReadImage() {
    // The file is read once: the song or the reader takes these bytes as
    // read, before the format check moves a prefixed image down in place,
    // and reads them as it would read the file itself (a file changed in
    // between cannot give the two different bytes).
    MemoryBlock image = raw.Copy();
    switch (MidiF0Data::DetectFormat(raw.data(), size)) {
        case 0: {
            const MidiF0Data single(std::move(image), size);
            reader = std::make_unique<MidiF1Data>(single);
            break;
        }
        case 1:
            reader = std::make_unique<MidiF1Data>(std::move(image), size);
            if (reader->trackCount == 0) {  // the reader has said why, if anything was wrong
                reader.reset();
                size = 0;
            }
            break;
        default:
            ReportError(kLoaderNotMidi);
            size = 0;
            break;
    }
}

void MidiFileLoader::BuildSong() {
    if (!reader || reader->state != kStateNoteForm) {
        ReportError(kLoaderInternalError);
        return;
    }
    song = std::make_unique<MidiF0Data>(kStateNoteForm);
    song->division = reader->division;
    // Last track first, so that events of equal time end up in ascending track order.
    std::vector<const MidiTrackData*> tracks;
    tracks.reserve(static_cast<std::size_t>(reader->trackCount));
    for (std::int32_t k = 0; k < reader->trackCount; ++k) {
        tracks.push_back(&*reader->tracks[static_cast<std::size_t>(k)]);
    }
    song->track->MergeTracks(tracks);
    reader.reset();
}

}  // namespace solvane
