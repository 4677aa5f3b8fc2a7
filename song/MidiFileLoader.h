#pragma once
// Turns a chosen Standard MIDI File (format 0 or 1) into the loaded song: a
// song in note form with one merged track. size is 0 when nothing was loaded;
// the window then throws the loader away. States: empty, loaded (reader),
// built (song).

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "song/MidiF0Data.h"
#include "song/MidiF1Data.h"
#include "support/MemoryBlock.h"

namespace solvane {

class MidiFileLoader {
public:
    // Asks for a file with the open dialog and loads it; cancelling loads nothing.
    MidiFileLoader();
    // Loads the given file, as if it had been chosen in the dialog.
    explicit MidiFileLoader(const std::string& path);
    // Loads the given file and builds its song at once, as Load and then
    // BuildSong when size is not 0 (the command line's load).
    struct AndBuildSong {};
    MidiFileLoader(const std::string& path, AndBuildSong);
    // Loads bytes already in memory, as LoadBytes.
    MidiFileLoader(const std::string& name, const std::uint8_t* bytes, std::size_t count);
    MidiFileLoader(const MidiFileLoader&) = delete;
    MidiFileLoader& operator=(const MidiFileLoader&) = delete;

    void Load(const std::string& path);
    // Loads bytes already in memory as a file named name holding them loads
    // (the same song and reports).
    void LoadBytes(const std::string& name, const std::uint8_t* bytes, std::size_t count);
    // Merges the reader's tracks, last first, into a new song and drops the reader.
    void BuildSong();

    void ReportError(std::uint32_t code) const;

    std::int32_t size = 0;
    std::string path;  // the file last asked for, for the titles that name it
    MemoryBlock raw;
    std::unique_ptr<MidiF1Data> reader;
    std::unique_ptr<MidiF0Data> song;

private:
    void Forget(const std::string& name);
    // The format check and the reader, on the bytes just read into raw.
    void ReadImage();
};

}  // namespace solvane
