#pragma once
// A sequencer whose ports the test sets: there or not, and which ports it
// offers now. Counts how often it was asked for its list. Installed for its
// lifetime.

#include <atomic>
#include <mutex>
#include <vector>

#include "platform/SequencerPorts.h"

namespace solvane::test {

class FakeSequencer : public SequencerPorts {
public:
    FakeSequencer() { InstallSequencerPorts(this); }
    ~FakeSequencer() override { InstallSequencerPorts(nullptr); }

    bool Available() override { return available.load(); }
    std::vector<MidiPort> List() override {
        ++lists;
        std::lock_guard lock(mutex_);
        return available.load() ? ports_ : std::vector<MidiPort>{};
    }
    void SetPorts(std::vector<MidiPort> ports) {
        std::lock_guard lock(mutex_);
        ports_ = std::move(ports);
    }

    std::atomic<bool> available{true};
    std::atomic<int> lists{0};

private:
    std::mutex mutex_;
    std::vector<MidiPort> ports_;
};

inline MidiPort PortOf(int client, int port, std::string clientName, std::string portName, bool synth = false) {
    return {client, port, std::move(clientName), std::move(portName), synth, false};
}

}  // namespace solvane::test
