#pragma once
// What the command line does to its own process before any work, for the
// speed of a single short conversion. Nothing here changes what it does.

namespace solvane {

void TuneProcess();

}  // namespace solvane
