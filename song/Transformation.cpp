#include "song/Transformation.h"

#include <cstdint>
#include <vector>

#include "transform/KeepPassages.h"

namespace solvane {

void Reverse(MidiF0Data& eventForm, Reversals reversals) {
    // Time first, then pitch: the reversal pairs note-offs by key, and the
    // inversion can bring two keys together at the edge of the range.
    if (reversals.horizontal) {
        const std::vector<MusicEvent>& events = eventForm.track->events;
        const std::int64_t first = events.empty() ? 0 : events.front().delta;  // the silence the mirror drops
        eventForm.ReverseHorizontal();
        // A list the mirror refused ends without an End of Track; the step
        // then leaves it alone too.
        if (reversals.musical && eventForm.state == kStateEventForm) {
            KeepPassages(*eventForm.track, PlayGrid(eventForm.division), first);
        }
    }
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
