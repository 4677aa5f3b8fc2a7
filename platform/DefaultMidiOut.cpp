#include "platform/DefaultMidiOut.h"

#include <utility>

#include "platform/AlsaPortOut.h"
#include "platform/FluidSynthOut.h"
#include "platform/MidiBytes.h"
#include "platform/MidiPort.h"
#include "platform/SequencerPorts.h"

namespace solvane {

DefaultMidiOut::DefaultMidiOut() : DefaultMidiOut(FluidSynthOut::FindSoundFont()) {}

DefaultMidiOut::DefaultMidiOut(std::string soundFont) : soundFont_(std::move(soundFont)) {}

int DefaultMidiOut::DeviceCount() {
    FluidSynthOut builtIn(soundFont_);
    if (builtIn.DeviceCount() > 0) return 1;
    SequencerPorts& sequencer = CurrentSequencerPorts();
    if (ChooseDefaultPort(sequencer.List()) >= 0) return 1;
    // Both ways are closed; the built-in synthesizer is the one the user
    // can open by installing a package.
    problem_.Set(sequencer.Available() ? "no synthesizer runs on the ALSA sequencer, and " + builtIn.WhyNotOpen()
                                       : NoSequencerProblem() + ", and " + builtIn.WhyNotOpen());
    return 0;
}

std::unique_ptr<MidiOutHandle> DefaultMidiOut::Open(int id) {
    if (id != kDefaultDevice && id != 0) return nullptr;
    const std::vector<MidiPort> ports = CurrentSequencerPorts().List();
    const int chosen = ChooseDefaultPort(ports);
    if (chosen >= 0) {
        const MidiPort& port = ports[static_cast<std::size_t>(chosen)];
        // A synthesizer that quit since it was listed leaves the embedded one.
        if (auto handle = AlsaPortOut(port.client, port.port).Open(kDefaultDevice)) return handle;
    }
    FluidSynthOut builtIn(soundFont_);
    auto handle = builtIn.Open(kDefaultDevice);
    problem_.Set(handle ? std::string() : builtIn.WhyNotOpen());
    return handle;
}

void DefaultMidiOut::Beep(std::uint32_t, std::uint32_t) { TerminalBeep(); }

}  // namespace solvane
