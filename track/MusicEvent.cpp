#include "track/MusicEvent.h"

#include <utility>

#include "support/Messages.h"

namespace solvane {

MusicEvent& MusicEvent::operator=(const MusicEvent& other) {
    if (this != &other) {
        MusicEvent copy(other);
        *this = std::move(copy);
    }
    return *this;
}

void MusicEvent::ReportError(std::uint32_t code) const { ReportModuleError(Module::kMusicEvent, code); }

}  // namespace solvane
