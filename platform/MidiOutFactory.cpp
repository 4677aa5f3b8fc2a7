#include "platform/MidiOutFactory.h"

#include <strings.h>

#include <cstdio>
#include <utility>

#include "platform/AlsaPortOut.h"
#include "platform/DefaultMidiOut.h"
#include "platform/FluidSynthOut.h"
#include "platform/MidiBytes.h"
#include "platform/SequencerPorts.h"
#include "platform/TraceMidiOut.h"
#include "platform/WavMidiOut.h"

namespace solvane {
namespace {

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
    std::string line = port.Address() + "  " + OutputName(port);
    if (port.synth) line += "  [synth]";
    if (IsMidiThrough(port)) line += "  [through]";
    return line;
}

std::string SoundFontOf(const MidiOutChoice& choice) {
    return choice.soundFont.empty() ? FluidSynthOut::FindSoundFont() : choice.soundFont;
}

}  // namespace

MidiOutChoice ChoiceOfOutputName(const std::string& name) {
    if (name.empty() || strcasecmp(name.c_str(), kDefaultOutputName) == 0) return {};
    if (strcasecmp(name.c_str(), kBuiltInOutputName) == 0) return {MidiOutKind::kBuiltIn, {}, {}};
    return {MidiOutKind::kPort, name, {}};
}

std::string OutputName(const MidiPort& port) { return port.clientName + ":" + port.portName; }

MadeMidiOut MakeMidiOutDevice(const MidiOutChoice& choice) {
    switch (choice.kind) {
    case MidiOutKind::kDefault:
        return {std::make_unique<DefaultMidiOut>(SoundFontOf(choice)), {}};
    case MidiOutKind::kBuiltIn: {
        std::string soundFont = SoundFontOf(choice);
        if (soundFont.empty()) return Failed(NoSoundFontProblem());
        return {std::make_unique<FluidSynthOut>(std::move(soundFont)), {}};
    }
    case MidiOutKind::kPort: {
        SequencerPorts& sequencer = CurrentSequencerPorts();
        if (!sequencer.Available()) return Failed(NoSequencerProblem());
        const std::vector<MidiPort> ports = sequencer.List();
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
        std::string soundFont = SoundFontOf(choice);
        if (soundFont.empty()) return Failed(NoSoundFontProblem());
        if (!CanWrite(choice.target)) return Failed("cannot write " + choice.target);
        return {std::make_unique<WavMidiOut>(choice.target, std::move(soundFont)), {}};
    }
    }
    return Failed("unknown kind of MIDI output");
}

void ChosenMidiOut::Choose(MidiOutChoice choice) {
    std::lock_guard lock(mutex_);
    choice_ = std::move(choice);
}

MidiOutChoice ChosenMidiOut::Choice() const {
    std::lock_guard lock(mutex_);
    return choice_;
}

int ChosenMidiOut::DeviceCount() {
    const MadeMidiOut made = MakeMidiOutDevice(Choice());
    if (!made.device) {
        problem_.Set(made.error);
        return 0;
    }
    const int count = made.device->DeviceCount();
    if (count == 0) problem_.Set(made.device->WhyNotOpen());
    return count;
}

std::unique_ptr<MidiOutHandle> ChosenMidiOut::Open(int id) {
    const MadeMidiOut made = MakeMidiOutDevice(Choice());
    if (!made.device) {
        problem_.Set(made.error);
        return nullptr;
    }
    auto handle = made.device->Open(id);
    problem_.Set(handle ? std::string() : made.device->WhyNotOpen());
    return handle;
}

void ChosenMidiOut::Beep(std::uint32_t, std::uint32_t) { TerminalBeep(); }

MidiOutputs ListMidiOutputs(const std::string& soundFont) {
    MidiOutputs outputs;
    SequencerPorts& sequencer = CurrentSequencerPorts();
    outputs.sequencer = sequencer.Available();
    outputs.ports = sequencer.List();
    outputs.defaultPort = ChooseDefaultPort(outputs.ports);
    outputs.soundFont = soundFont.empty() ? FluidSynthOut::FindSoundFont() : soundFont;
    return outputs;
}

std::string DescribeMidiOutputs(const MidiOutputs& outputs) {
    std::string text;
    if (!outputs.sequencer) text += "no ALSA sequencer (/dev/snd/seq): no MIDI ports\n";
    for (const MidiPort& port : outputs.ports) text += Describe(port) + "\n";
    if (outputs.sequencer && outputs.ports.empty()) text += "no MIDI output ports\n";
    text += kBuiltInOutputName;
    text += ": ";
    text += outputs.soundFont.empty() ? "none (" + NoSoundFontProblem() + ")"
                                      : "embedded synthesizer with " + outputs.soundFont;
    text += "\ndefault: ";
    if (outputs.defaultPort >= 0 && static_cast<std::size_t>(outputs.defaultPort) < outputs.ports.size()) {
        text += Describe(outputs.ports[static_cast<std::size_t>(outputs.defaultPort)]);
    } else if (!outputs.soundFont.empty()) {
        text += "embedded synthesizer with " + outputs.soundFont;
    } else {
        text += "none (no synthesizer port and no soundfont)";
    }
    return text + "\n";
}

}  // namespace solvane
