#pragma once
// The MIDI output service: how many outputs there are, opening one by id
// (kDefaultDevice picks the system's default output), and the open output's
// short message, long (system-exclusive) message, reset and close.
// One device is installed for the whole process; with none installed there
// are no outputs. Implementations are used from one thread at a time per
// open handle, but Open may be called from any thread.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/Installed.h"

namespace solvane {

inline constexpr int kDefaultDevice = -1;

class MidiOutHandle {
public:
    enum class LongResult {
        kSent,         // handed over and its buffer given back
        kNotSent,      // could not be prepared or sent
        kNotReleased,  // sent, but the buffer could not be given back yet
    };

    virtual ~MidiOutHandle() = default;
    // Status in bits 0-7, first data byte in 8-15, second in 16-23.
    virtual bool ShortMessage(std::uint32_t packed) = 0;
    // The bytes exactly as they go on the wire (F0 ... F7).
    virtual LongResult LongMessage(const std::uint8_t* bytes, std::size_t length) = 0;
    // Silences everything: all notes off, sustain off, controllers reset, every channel.
    virtual bool Reset() = 0;
    virtual bool Close() = 0;
};

class MidiOutDevice {
public:
    virtual ~MidiOutDevice() = default;
    virtual int DeviceCount() = 0;
    // nullptr when the output cannot be opened.
    virtual std::unique_ptr<MidiOutHandle> Open(int id) = 0;
    // The last-resort signal when an exclusive message cannot be sent.
    virtual void Beep(std::uint32_t hertz, std::uint32_t milliseconds) = 0;
    // Why the last Open gave nothing, or why there is no output, in one
    // sentence for the user; empty when the output cannot tell.
    virtual std::string WhyNotOpen() const { return {}; }
};

inline void InstallMidiOutDevice(MidiOutDevice* device) { Installed<MidiOutDevice>::Install(device); }
// nullptr when none is installed.
inline MidiOutDevice* CurrentMidiOutDevice() { return Installed<MidiOutDevice>::Current(); }

}  // namespace solvane
