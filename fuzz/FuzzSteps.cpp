#include "fuzz/FuzzSteps.h"

#include "track/MidiTrackData.h"

namespace solvane::fuzz {

std::unique_ptr<MidiFileLoader> LoadAsTheDialogDoes(const std::string& path) {
    auto loader = std::make_unique<MidiFileLoader>(path);
    if (loader->size != 0) loader->BuildSong();
    return loader;
}

std::vector<std::uint8_t> SaveAsTheDialogDoes(const MidiF0Data& loaded, bool horizontal, bool vertical) {
    MidiF0Data copy(loaded);
    copy.ToEventForm();
    if (horizontal) copy.ReverseHorizontal();
    if (vertical) copy.ReverseVertical();
    copy.WriteSmf();
    return std::vector<std::uint8_t>(copy.Bytes(), copy.Bytes() + copy.size);
}

std::unique_ptr<MidiF0Data> PrepareForPlay(const MidiF0Data& loaded) {
    auto copy = std::make_unique<MidiF0Data>(loaded);
    copy->ChangeDivision(96);
    copy->ToEventForm();
    copy->TrimLeadingBars();
    return copy;
}

bool IsStructuralReport(std::uint32_t code) {
    switch (code >> 24) {
        case 0x02:  // format-1 reader
        case 0x04:  // song
        case 0x17:  // loader
            return true;
        case 0x0D:  // track: everything but the once-per-track size warning
            return code != kTrackOversizedEvent;
        default:
            return false;
    }
}

}  // namespace solvane::fuzz
