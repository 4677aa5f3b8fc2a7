#pragma once
// The embedded synthesizer as a MIDI output: FluidSynth with a soundfont
// (the system's General MIDI one unless chosen), playing through the first
// audio output that opens (PipeWire, PulseAudio, ALSA, then JACK). One
// output, kDefaultDevice or 0. The synthesizer is borrowed from the one the
// process keeps and given back when the handle closes, so only the first
// play of a soundfont waits for its loading.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/MidiOutDevice.h"
#include "platform/OutputProblem.h"

namespace solvane {

class FluidSynthOut : public MidiOutDevice {
public:
    FluidSynthOut();  // with FindSoundFont()
    explicit FluidSynthOut(std::string soundFont);
    // Tries only the audio drivers named (FluidSynth's names), in order.
    FluidSynthOut(std::string soundFont, std::vector<std::string> audioDrivers);

    // The soundfont SOLVANE_SOUNDFONT names, else the installed General MIDI
    // soundfont, or "" when there is neither.
    static std::string FindSoundFont();

    int DeviceCount() override;  // 0 without a soundfont
    // nullptr when the soundfont does not load or no audio output opens.
    std::unique_ptr<MidiOutHandle> Open(int id) override;
    void Beep(std::uint32_t hertz, std::uint32_t milliseconds) override;  // the terminal bell
    std::string WhyNotOpen() const override { return problem_.Get(); }

private:
    std::string soundFont_;
    std::vector<std::string> audioDrivers_;
    ProblemNote problem_;
};

}  // namespace solvane
