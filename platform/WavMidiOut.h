#pragma once
// The embedded synthesizer rendering into a WAV file (16-bit stereo, 44.1 kHz)
// instead of a sound card. Before each message the audio up to that moment is
// rendered, so the file keeps the timing with which the messages arrived;
// closing renders a one-second tail and completes the header. One output,
// kDefaultDevice or 0; opening truncates the file.

#include <cstdint>
#include <memory>
#include <string>

#include "platform/MidiOutDevice.h"

namespace solvane {

class WavMidiOut : public MidiOutDevice {
public:
    explicit WavMidiOut(std::string path);  // with FluidSynthOut::FindSoundFont()
    WavMidiOut(std::string path, std::string soundFont);

    int DeviceCount() override;  // 0 without a soundfont
    // nullptr when the soundfont does not load or the file cannot be written.
    std::unique_ptr<MidiOutHandle> Open(int id) override;
    void Beep(std::uint32_t hertz, std::uint32_t milliseconds) override;  // nothing: a file cannot hear it

private:
    std::string path_;
    std::string soundFont_;
};

}  // namespace solvane
