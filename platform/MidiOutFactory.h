#pragma once
// How the command line picks its MIDI output, and what it can tell about the
// outputs there are: the default device, a sequencer port by name, a trace
// file or a WAV file.

#include <memory>
#include <string>
#include <vector>

#include "platform/MidiOutDevice.h"
#include "platform/MidiPort.h"

namespace solvane {

enum class MidiOutKind {
    kDefault,  // DefaultMidiOut
    kPort,     // --port CLIENT:PORT or part of a port's name
    kTrace,    // --trace FILE
    kWav,      // --wav FILE
};

struct MidiOutChoice {
    MidiOutKind kind = MidiOutKind::kDefault;
    std::string target;  // the port's name or the file's path; unused for kDefault
};

struct MadeMidiOut {
    std::unique_ptr<MidiOutDevice> device;  // null when error says why
    std::string error;
};

// Checks what can be checked before playing (the port exists, the file can be
// written, a soundfont is there) so that a mistake is told at once, in words.
MadeMidiOut MakeMidiOutDevice(const MidiOutChoice& choice);

struct MidiOutputs {
    bool sequencer = false;    // the ALSA sequencer exists
    std::vector<MidiPort> ports;
    int defaultPort = -1;      // index into ports the default device uses, -1 for none
    std::string soundFont;     // the embedded synthesizer's soundfont, "" for none
};

MidiOutputs ListMidiOutputs();

// One line per port ("128:0  FLUID Synth (4321):Synth input port (4321:0)  [synth]"),
// then the line "default: ..." naming what the default device plays through.
std::string DescribeMidiOutputs(const MidiOutputs& outputs);

}  // namespace solvane
