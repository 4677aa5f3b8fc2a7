#pragma once
// What the ALSA sequencer offers us: whether it is there, and every port we
// may write to, as it is at the moment of asking. The system's sequencer
// unless another lister is installed (the tests' fake).

#include <vector>

#include "platform/Installed.h"
#include "platform/MidiPort.h"

namespace solvane {

class SequencerPorts {
public:
    virtual ~SequencerPorts() = default;
    virtual bool Available() = 0;
    // In the sequencer's order; empty without a sequencer.
    virtual std::vector<MidiPort> List() = 0;
};

inline void InstallSequencerPorts(SequencerPorts* ports) { Installed<SequencerPorts>::Install(ports); }
// The installed lister, else the system's sequencer (AlsaPortOut).
SequencerPorts& CurrentSequencerPorts();

}  // namespace solvane
