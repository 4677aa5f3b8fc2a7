#pragma once
// A MIDI output that writes each message to a text file as it is sent, one
// flushed line per message: the microseconds since the output was opened, then
// the bytes in upper-case hex ("1500 90 3C 64"), or "RESET" for a reset.
// One output, opened by kDefaultDevice or 0; opening truncates the file.

#include <cstdint>
#include <memory>
#include <string>

#include "platform/MidiOutDevice.h"

namespace solvane {

class TraceMidiOut : public MidiOutDevice {
public:
    explicit TraceMidiOut(std::string path);

    int DeviceCount() override;
    // nullptr for another id or when the file cannot be written.
    std::unique_ptr<MidiOutHandle> Open(int id) override;
    // Does nothing: a trace is read by programs, not heard.
    void Beep(std::uint32_t hertz, std::uint32_t milliseconds) override;

private:
    std::string path_;
};

}  // namespace solvane
