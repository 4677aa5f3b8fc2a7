#include "fuzz/FuzzSteps.h"

#include <algorithm>

#include "song/Transformation.h"
#include "track/MidiTrackData.h"

namespace solvane::fuzz {

std::unique_ptr<MidiFileLoader> LoadAsTheDialogDoes(const std::uint8_t* bytes, std::size_t count) {
    auto loader = std::make_unique<MidiFileLoader>("input.mid", bytes, count);
    if (loader->size != 0) loader->BuildSong();
    return loader;
}

bool SameSong(const MidiF0Data* a, const MidiF0Data* b) {
    if (a == nullptr || b == nullptr) return a == b;
    if (a->state != b->state || a->division != b->division) return false;
    const std::vector<MusicEvent>& x = a->track->events;
    const std::vector<MusicEvent>& y = b->track->events;
    return std::equal(x.begin(), x.end(), y.begin(), y.end(), [](const MusicEvent& p, const MusicEvent& q) {
        return p.type == q.type && p.delta == q.delta && p.key == q.key && p.duration == q.duration &&
               p.velocity == q.velocity && p.subtype == q.subtype && p.value == q.value && p.length == q.length &&
               p.channel == q.channel && std::equal(p.data.begin(), p.data.end(), q.data.begin(), q.data.end());
    });
}

std::unique_ptr<MidiF0Data> InEventForm(const MidiF0Data& loaded) {
    auto copy = std::make_unique<MidiF0Data>(loaded);
    copy->ToEventForm();
    return copy;
}

std::vector<std::uint8_t> SaveAsTheDialogDoes(const MidiF0Data& eventForm, bool horizontal, bool vertical,
                                              bool musical) {
    MidiF0Data copy(kStateEventForm);
    copy.division = eventForm.division;
    copy.track->events = eventForm.track->events;
    Reverse(copy, {horizontal, vertical, musical});
    copy.WriteSmf();
    if (!copy.HoldsWrittenFile()) return {};
    return std::vector<std::uint8_t>(copy.Bytes(), copy.Bytes() + copy.size);
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
