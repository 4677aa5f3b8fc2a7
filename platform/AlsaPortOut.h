#pragma once
// A MIDI output through a port of the ALSA sequencer: a software synthesizer
// or a device that another client offers. Opening makes a sequencer client
// of our own ("Solvane") with one port connected to the target; closing takes
// both away. One output, kDefaultDevice or 0. Without a sequencer (no
// /dev/snd/seq) there is no output and nothing is printed.

#include <cstdint>
#include <memory>
#include <vector>

#include "platform/MidiOutDevice.h"
#include "platform/MidiPort.h"
#include "platform/OutputProblem.h"

namespace solvane {

class AlsaPortOut : public MidiOutDevice {
public:
    AlsaPortOut(int client, int port);

    static bool SequencerAvailable();
    // Every port we may write to, in the sequencer's order; empty without a sequencer.
    static std::vector<MidiPort> ListPorts();

    int DeviceCount() override;  // 1 while the sequencer exists
    // nullptr when the sequencer is missing or the port refuses the connection.
    std::unique_ptr<MidiOutHandle> Open(int id) override;
    void Beep(std::uint32_t hertz, std::uint32_t milliseconds) override;  // the terminal bell
    std::string WhyNotOpen() const override { return problem_.Get(); }

private:
    int client_;
    int port_;
    ProblemNote problem_;
};

}  // namespace solvane
