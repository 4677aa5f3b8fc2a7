#pragma once
// The versions of the sound libraries this process has loaded, for --version.

#include <string>

namespace solvane {

// As the loaded FluidSynth library tells it, which may be newer than the one built against.
std::string FluidSynthVersion();

}  // namespace solvane
