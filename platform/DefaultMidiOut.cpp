#include "platform/DefaultMidiOut.h"

#include <utility>

#include "platform/AlsaPortOut.h"
#include "platform/FluidSynthOut.h"
#include "platform/MidiBytes.h"
#include "platform/MidiPort.h"

namespace solvane {

DefaultMidiOut::DefaultMidiOut() : DefaultMidiOut(FluidSynthOut::FindSoundFont()) {}

DefaultMidiOut::DefaultMidiOut(std::string soundFont) : soundFont_(std::move(soundFont)) {}

int DefaultMidiOut::DeviceCount() {
    if (FluidSynthOut(soundFont_).DeviceCount() > 0) return 1;
    return ChooseDefaultPort(AlsaPortOut::ListPorts()) >= 0 ? 1 : 0;
}

std::unique_ptr<MidiOutHandle> DefaultMidiOut::Open(int id) {
    if (id != kDefaultDevice && id != 0) return nullptr;
    const std::vector<MidiPort> ports = AlsaPortOut::ListPorts();
    const int chosen = ChooseDefaultPort(ports);
    if (chosen >= 0) {
        const MidiPort& port = ports[static_cast<std::size_t>(chosen)];
        // A synthesizer that quit since it was listed leaves the embedded one.
        if (auto handle = AlsaPortOut(port.client, port.port).Open(kDefaultDevice)) return handle;
    }
    return FluidSynthOut(soundFont_).Open(kDefaultDevice);
}

void DefaultMidiOut::Beep(std::uint32_t, std::uint32_t) { TerminalBeep(); }

}  // namespace solvane
