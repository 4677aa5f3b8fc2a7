#pragma once
// The embedded synthesizer rendering into a WAV file (16-bit stereo, 44.1 kHz)
// as the messages come, in real time: a recording of a play. (AudioRender
// makes the same file from the walk's times without waiting.) Before each message the audio up to that moment is
// rendered, so the file keeps the timing with which the messages arrived;
// closing renders a one-second tail and completes the header. One output,
// kDefaultDevice or 0; opening truncates the file.

#include <cstdint>
#include <memory>
#include <string>

#include "platform/MidiOutDevice.h"
#include "platform/OutputProblem.h"

namespace solvane {

class WavMidiOut : public MidiOutDevice {
public:
    explicit WavMidiOut(std::string path);  // with FluidSynthOut::FindSoundFont()
    WavMidiOut(std::string path, std::string soundFont);

    int DeviceCount() override;  // 0 without a soundfont
    // nullptr when the soundfont does not load or the file cannot be written.
    std::unique_ptr<MidiOutHandle> Open(int id) override;
    void Beep(std::uint32_t hertz, std::uint32_t milliseconds) override;  // nothing: a file cannot hear it
    std::string WhyNotOpen() const override { return problem_.Get(); }

private:
    std::string path_;
    std::string soundFont_;
    ProblemNote problem_;
};

}  // namespace solvane
