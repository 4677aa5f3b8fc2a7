#pragma once
// One file through everything the dialog does with it: Load (the loader with
// the file, then BuildSong when something was read), Save with each of the
// four combinations of the boxes, and the loading of every written file. The
// reports of each step are kept apart, so a test can say which step said what.

#include <algorithm>
#include <array>
#include <cstdint>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "song/MidiFileLoader.h"
#include "tests/support/RecordingSink.h"
#include "tests/support/SmfBuilder.h"
#include "tests/support/SongProbe.h"
#include "track/MidiTrackData.h"

namespace solvane::test {

// A report that a file the program wrote must never cause when it is loaded
// again: a damaged header, chunk or event, or a refused operation. The size
// warning, the long-event report and "data too large" are not among them.
inline bool IsStructuralReport(std::uint32_t code) {
    switch (code >> 24) {
        case 0x02:  // format-1 reader
        case 0x04:  // song
        case 0x17:  // loader
            return true;
        case 0x0D:  // track
            return code != kTrackOversizedEvent;
        default:
            return false;
    }
}

inline std::vector<std::uint32_t> Structural(const std::vector<std::uint32_t>& codes) {
    std::vector<std::uint32_t> out;
    std::copy_if(codes.begin(), codes.end(), std::back_inserter(out), IsStructuralReport);
    return out;
}

struct SaveRun {
    bool horizontal = false;
    bool vertical = false;
    std::vector<std::uint32_t> codes;  // while saving (copy, event form, reversals, writing)
    Bytes written;
    std::vector<std::uint32_t> reloadCodes;  // while the written file is loaded
    std::unique_ptr<MidiFileLoader> reloaded;
};

struct WholePath {
    std::vector<std::uint32_t> loadCodes;
    std::unique_ptr<MidiFileLoader> loader;
    std::array<SaveRun, 4> saves;  // none, horizontal, vertical, both

    const MidiF0Data* song() const { return loader->song.get(); }
    bool EndsWithEndOfTrack() const {
        return song() != nullptr && !song()->track->events.empty() && song()->track->events.back().IsEndOfTrack();
    }
};

// Runs the path on the file at input, recording into sink (cleared between the steps).
inline WholePath RunWholePathOnFile(const std::string& input, RecordingSink& sink) {
    WholePath path;
    sink.Clear();
    path.loader = LoadAsTheDialogDoes(input);
    path.loadCodes = sink.codes();
    if (path.song() == nullptr) return path;
    for (int boxes = 0; boxes < 4; ++boxes) {
        SaveRun& run = path.saves[static_cast<std::size_t>(boxes)];
        run.horizontal = (boxes & 1) != 0;
        run.vertical = (boxes & 2) != 0;
        sink.Clear();
        run.written = SaveAsBytes(*path.song(), run.horizontal, run.vertical);
        run.codes = sink.codes();
        sink.Clear();
        if (run.written.empty()) continue;  // nothing saved, nothing to load
        TempFile output(run.written, "output.mid");
        run.reloaded = LoadAsTheDialogDoes(output.path());
        run.reloadCodes = sink.codes();
    }
    sink.Clear();
    return path;
}

// The same on a file that holds bytes.
inline WholePath RunWholePath(const Bytes& file, RecordingSink& sink) {
    return RunWholePathOnFile(TempFile(file, "input.mid").path(), sink);
}

inline std::string BoxesName(const SaveRun& run) {
    return std::string(run.horizontal ? "H" : "-") + (run.vertical ? "V" : "-");
}

}  // namespace solvane::test
