#pragma once
// A MIDI port another program or a device offers for us to write to, as the
// ALSA sequencer lists it, and the choices made from such a list: which port
// the default output plays through, and which one a user's name stands for.
// Kept apart from the sequencer so the choices can be checked on any list.

#include <string>
#include <string_view>
#include <vector>

namespace solvane {

struct MidiPort {
    int client = 0;
    int port = 0;
    std::string clientName;
    std::string portName;
    bool synth = false;     // says it makes sound (synthesizer or General MIDI types)
    bool hardware = false;  // a device rather than a program

    std::string Address() const;  // "client:port"
};

// The loopback port that forwards everything elsewhere: writing to it plays
// nothing unless someone has wired it up.
bool IsMidiThrough(const MidiPort& port);

// A port whose type or name says it is a synthesizer.
bool LooksLikeSynth(int client, std::string_view clientName, std::string_view portName, bool typedAsSynth);

// Index of the port the default output uses, -1 for none (then the embedded
// synthesizer plays). Only synthesizers qualify: a bare MIDI port may be a
// keyboard that makes no sound, so it is used only when named. Among several
// the lowest address wins, which puts devices (clients 16-127) before
// programs (128 and up).
int ChooseDefaultPort(const std::vector<MidiPort>& ports);

// Index of the port a name stands for, -1 for none: the whole
// "client name:port name", "client:port" as numbers,
// a client number alone (its first port), "client name:port number", or part
// of "client name:port name", upper or lower case alike.
int FindPort(const std::vector<MidiPort>& ports, std::string_view name);

}  // namespace solvane
