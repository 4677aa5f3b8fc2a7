#pragma once
// How a program picks its MIDI output, and what it can tell about the
// outputs there are: the default device, the built-in synthesizer, a
// sequencer port by name, a trace file or a WAV file. The window and the
// command line name the outputs alike: "default", "built-in", and a port's
// "client name:port name" (or its address).

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/MidiOutDevice.h"
#include "platform/MidiPort.h"
#include "platform/OutputProblem.h"

namespace solvane {

enum class MidiOutKind {
    kDefault,  // DefaultMidiOut
    kBuiltIn,  // FluidSynthOut, whatever the sequencer offers
    kPort,     // --port CLIENT:PORT or part of a port's name
    kTrace,    // --trace FILE
    kWav,      // --wav FILE
};

inline constexpr const char* kDefaultOutputName = "default";
inline constexpr const char* kBuiltInOutputName = "built-in";

struct MidiOutChoice {
    MidiOutKind kind = MidiOutKind::kDefault;
    std::string target;     // the port's name or the file's path; unused otherwise
    std::string soundFont;  // the built-in synthesizer's; "" for FluidSynthOut::FindSoundFont()
};

// The choice an output's name stands for: "default", "built-in" (either in
// any case), else a port.
MidiOutChoice ChoiceOfOutputName(const std::string& name);
// The name a port goes by in the window's menu and on the command line.
std::string OutputName(const MidiPort& port);

struct MadeMidiOut {
    std::unique_ptr<MidiOutDevice> device;  // null when error says why
    std::string error;
};

// Checks what can be checked before playing (the port exists, the file can be
// written, a soundfont is there) so that a mistake is told at once, in words.
MadeMidiOut MakeMidiOutDevice(const MidiOutChoice& choice);

// The output the user has chosen, which may change between plays: each
// opening makes the device of the choice as it is then. Choose on any
// thread; Open on the play's worker.
class ChosenMidiOut : public MidiOutDevice {
public:
    void Choose(MidiOutChoice choice);
    MidiOutChoice Choice() const;

    int DeviceCount() override;  // 0 when the choice cannot be made (WhyNotOpen says why)
    std::unique_ptr<MidiOutHandle> Open(int id) override;
    void Beep(std::uint32_t hertz, std::uint32_t milliseconds) override;  // the terminal bell
    std::string WhyNotOpen() const override { return problem_.Get(); }

private:
    mutable std::mutex mutex_;
    MidiOutChoice choice_;
    ProblemNote problem_;
};

struct MidiOutputs {
    bool sequencer = false;    // the ALSA sequencer exists
    std::vector<MidiPort> ports;
    int defaultPort = -1;      // index into ports the default device uses, -1 for none
    std::string soundFont;     // the embedded synthesizer's soundfont, "" for none
};

// What there is now, from the installed sequencer lister; soundFont as in MidiOutChoice.
MidiOutputs ListMidiOutputs(const std::string& soundFont = "");

// One line per port ("128:0  FLUID Synth (4321):Synth input port (4321:0)  [synth]"),
// the line "built-in: ..." for the embedded synthesizer, then the line
// "default: ..." naming what the default device plays through.
std::string DescribeMidiOutputs(const MidiOutputs& outputs);

}  // namespace solvane
