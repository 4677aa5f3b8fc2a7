#include "platform/MidiOutFactory.h"

#include <cstdio>
#include <utility>

#include "platform/AlsaPortOut.h"
#include "platform/DefaultMidiOut.h"
#include "platform/FluidSynthOut.h"
#include "platform/TraceMidiOut.h"
#include "platform/WavMidiOut.h"

namespace solvane {
namespace {

constexpr const char* kNoSoundFont =
    "no General MIDI soundfont (/usr/share/sounds/sf2/default-GM.sf2 or /usr/share/sounds/sf3/default-GM.sf3)";

// Opens for appending so that a file already there keeps its contents until
// the play really starts.
bool CanWrite(const std::string& path) {
    std::FILE* file = std::fopen(path.c_str(), "ab");
    if (file == nullptr) return false;
    std::fclose(file);
    return true;
}

MadeMidiOut Failed(std::string error) { return {nullptr, std::move(error)}; }

std::string Describe(const MidiPort& port) {
    std::string line = port.Address() + "  " + port.clientName + ":" + port.portName;
    if (port.synth) line += "  [synth]";
    if (IsMidiThrough(port)) line += "  [through]";
    return line;
}

}  // namespace

MadeMidiOut MakeMidiOutDevice(const MidiOutChoice& choice) {
    switch (choice.kind) {
    case MidiOutKind::kDefault:
        return {std::make_unique<DefaultMidiOut>(), {}};
    case MidiOutKind::kPort: {
        if (!AlsaPortOut::SequencerAvailable()) return Failed("no ALSA sequencer, so no MIDI port can be used");
        const std::vector<MidiPort> ports = AlsaPortOut::ListPorts();
        const int found = FindPort(ports, choice.target);
        if (found < 0) return Failed("no MIDI output port matches \"" + choice.target + "\"");
        const MidiPort& port = ports[static_cast<std::size_t>(found)];
        return {std::make_unique<AlsaPortOut>(port.client, port.port), {}};
    }
    case MidiOutKind::kTrace:
        if (choice.target.empty()) return Failed("the trace needs a file name");
        if (!CanWrite(choice.target)) return Failed("cannot write " + choice.target);
        return {std::make_unique<TraceMidiOut>(choice.target), {}};
    case MidiOutKind::kWav: {
        if (choice.target.empty()) return Failed("the WAV output needs a file name");
        std::string soundFont = FluidSynthOut::FindSoundFont();
        if (soundFont.empty()) return Failed(kNoSoundFont);
        if (!CanWrite(choice.target)) return Failed("cannot write " + choice.target);
        return {std::make_unique<WavMidiOut>(choice.target, std::move(soundFont)), {}};
    }
    }
    return Failed("unknown kind of MIDI output");
}

MidiOutputs ListMidiOutputs() {
    MidiOutputs outputs;
    outputs.sequencer = AlsaPortOut::SequencerAvailable();
    outputs.ports = AlsaPortOut::ListPorts();
    outputs.defaultPort = ChooseDefaultPort(outputs.ports);
    outputs.soundFont = FluidSynthOut::FindSoundFont();
    return outputs;
}

std::string DescribeMidiOutputs(const MidiOutputs& outputs) {
    std::string text;
    if (!outputs.sequencer) text += "no ALSA sequencer (/dev/snd/seq): no MIDI ports\n";
    for (const MidiPort& port : outputs.ports) text += Describe(port) + "\n";
    if (outputs.sequencer && outputs.ports.empty()) text += "no MIDI output ports\n";
    text += "default: ";
    if (outputs.defaultPort >= 0 && static_cast<std::size_t>(outputs.defaultPort) < outputs.ports.size()) {
        text += Describe(outputs.ports[static_cast<std::size_t>(outputs.defaultPort)]);
    } else if (!outputs.soundFont.empty()) {
        text += "embedded synthesizer with " + outputs.soundFont;
    } else {
        text += "none (no synthesizer port and ";
        text += kNoSoundFont;
        text += ")";
    }
    return text + "\n";
}

}  // namespace solvane
