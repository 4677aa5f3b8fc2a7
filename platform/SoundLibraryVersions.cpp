#include "platform/SoundLibraryVersions.h"

#include <fluidsynth.h>

namespace solvane {

std::string FluidSynthVersion() { return fluid_version_str(); }

}  // namespace solvane
