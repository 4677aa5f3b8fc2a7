#include "song/Transformation.h"

namespace solvane {

void Reverse(MidiF0Data& eventForm, Reversals reversals) {
    // Time first, then pitch: the reversal pairs note-offs by key, and the
    // inversion can bring two keys together at the edge of the range.
    if (reversals.horizontal) eventForm.ReverseHorizontal();
    if (reversals.vertical) eventForm.ReverseVertical();
}

void ApplyReversals(MidiF0Data& song, Reversals reversals) {
    song.ToEventForm();
    Reverse(song, reversals);
}

std::unique_ptr<MidiF0Data> TransformedCopy(const MidiF0Data& loaded, Reversals reversals) {
    auto copy = std::make_unique<MidiF0Data>(loaded);
    ApplyReversals(*copy, reversals);
    return copy;
}

std::unique_ptr<MidiF0Data> PlayableCopy(const MidiF0Data& loaded, Reversals reversals) {
    auto copy = TransformedCopy(loaded, reversals);
    copy->ToNoteForm();
    return copy;
}

}  // namespace solvane
