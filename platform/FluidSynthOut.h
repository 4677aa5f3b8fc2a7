#pragma once
// The embedded synthesizer as a MIDI output: FluidSynth with the system's
// General MIDI soundfont, playing through the first audio output that opens
// (PipeWire, PulseAudio, ALSA, then JACK). One output, kDefaultDevice or 0;
// each opening makes its own synthesizer, released when the handle closes.

#include <cstdint>
#include <memory>
#include <string>

#include "platform/MidiOutDevice.h"

namespace solvane {

class FluidSynthOut : public MidiOutDevice {
public:
    FluidSynthOut();  // with FindSoundFont()
    explicit FluidSynthOut(std::string soundFont);

    // The installed General MIDI soundfont, or "" when there is none.
    static std::string FindSoundFont();

    int DeviceCount() override;  // 0 without a soundfont
    // nullptr when the soundfont does not load or no audio output opens.
    std::unique_ptr<MidiOutHandle> Open(int id) override;
    void Beep(std::uint32_t hertz, std::uint32_t milliseconds) override;  // the terminal bell

private:
    std::string soundFont_;
};

}  // namespace solvane
