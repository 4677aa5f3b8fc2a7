#pragma once
// Turns a chosen Standard MIDI File (format 0 or 1) into the loaded song: a
// song in note form with one merged track. size is 0 when nothing was loaded;
// the window then throws the loader away. States: empty, loaded (reader),
// built (song).

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "song/MidiF0Data.h"
#include "song/MidiF1Data.h"
#include "support/MemoryBlock.h"

namespace solvane {

inline constexpr std::uint32_t kLoaderInternalError = 0x17000001;
inline constexpr std::uint32_t kLoaderNotMidi = 0x17000002;

class MidiFileLoader {
public:
    // Asks for a file with the open dialog and loads it; cancelling loads nothing.
    MidiFileLoader();
    // Loads the given file, as if it had been chosen in the dialog.
    explicit MidiFileLoader(const std::string& path);
    // Loads the given file and builds its song at once, with the song, size
    // and reports of Load and then BuildSong when size is not 0. A format-0
    // song is then merged in its own list where the split and merge would
    // only reorder it, as no one can look at the sixteen tracks between.
    struct AndBuildSong {};
    MidiFileLoader(const std::string& path, AndBuildSong);
    MidiFileLoader(const MidiFileLoader&) = delete;
    MidiFileLoader& operator=(const MidiFileLoader&) = delete;

    void Load(const std::string& path) { Load(path, false); }
    // Merges the reader's tracks, last first, into a new song and drops the reader.
    void BuildSong();

    void ReportError(std::uint32_t code) const;

    std::int32_t size = 0;
    MemoryBlock raw;
    std::unique_ptr<MidiF1Data> reader;
    std::unique_ptr<MidiF0Data> song;

private:
    void Load(const std::string& path, bool buildSong);

    // Empty; its room, from the format-0 song read before the split, is
    // handed to the merged song (the same number of events, and memory
    // already touched).
    std::vector<MusicEvent> spare_;
};

}  // namespace solvane
