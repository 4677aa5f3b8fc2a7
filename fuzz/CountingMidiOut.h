#pragma once
// The fuzz targets' MIDI output: it keeps no messages, only what the targets
// check (how often it was opened, how many resets and closes came, the kinds
// of the last two messages), so that a song of thousands of events costs no
// record per message. Every byte of a long message is read, so the
// sanitizers still see each one the sequencer hands over. Installed for its
// lifetime; used from one thread.

#include <cstddef>
#include <cstdint>
#include <memory>

#include "platform/MidiOutDevice.h"

namespace solvane::fuzz {

class CountingMidiOut : public MidiOutDevice {
public:
    enum Kind { kNone, kShort, kLong, kReset, kClose };

    CountingMidiOut() { InstallMidiOutDevice(this); }
    ~CountingMidiOut() override { InstallMidiOutDevice(nullptr); }
    CountingMidiOut(const CountingMidiOut&) = delete;
    CountingMidiOut& operator=(const CountingMidiOut&) = delete;

    int DeviceCount() override { return 1; }
    std::unique_ptr<MidiOutHandle> Open(int id) override;
    void Beep(std::uint32_t, std::uint32_t) override {}

    int opens = 0;
    int resets = 0;
    int closes = 0;
    Kind last = kNone;
    Kind beforeLast = kNone;
    std::uint32_t longBytesSum = 0;  // keeps the reading of long messages from being left out

private:
    friend class CountingHandle;
    void Count(Kind kind);
};

}  // namespace solvane::fuzz
