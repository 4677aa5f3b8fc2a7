#pragma once
// The dialog's Load, Save and Play preparation as the fuzz targets run them.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "song/MidiF0Data.h"
#include "song/MidiFileLoader.h"

namespace solvane::fuzz {

// Load of a file holding these bytes: the loader reads them as it reads a
// file (from memory: a round trip through the file system would cost a run
// more than the rest of the load); a song is built when something was read.
std::unique_ptr<MidiFileLoader> LoadAsTheDialogDoes(const std::uint8_t* bytes, std::size_t count);

// Both songs absent, or alike in state, division and every field and data
// byte of every event.
bool SameSong(const MidiF0Data* a, const MidiF0Data* b);

// Save's first steps, the same for every box: a copy in event form.
std::unique_ptr<MidiF0Data> InEventForm(const MidiF0Data& loaded);
// The rest of Save on a copy of that: the ticked reversals, writing. What
// Save writes: nothing without a complete track.
std::vector<std::uint8_t> SaveAsTheDialogDoes(const MidiF0Data& eventForm, bool horizontal, bool vertical,
                                              bool musical = false);

// A report that a file written by the program must never cause when it is
// loaded again: a damaged header, chunk or event, or a refused operation.
// Size warnings, the long-event report and "data too large" are not among them.
bool IsStructuralReport(std::uint32_t code);

}  // namespace solvane::fuzz
