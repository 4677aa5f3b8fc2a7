#pragma once
// The output a user gets without choosing one: a synthesizer port of the ALSA
// sequencer when one is running or attached (chosen by ChooseDefaultPort),
// else the embedded synthesizer. The choice is made afresh at each opening,
// so a synthesizer started after the program is found. One output,
// kDefaultDevice or 0.

#include <cstdint>
#include <memory>
#include <string>

#include "platform/MidiOutDevice.h"
#include "platform/OutputProblem.h"

namespace solvane {

class DefaultMidiOut : public MidiOutDevice {
public:
    DefaultMidiOut();  // with FluidSynthOut::FindSoundFont()
    explicit DefaultMidiOut(std::string soundFont);

    int DeviceCount() override;  // 0 with neither a synthesizer port nor a soundfont
    // nullptr when neither the port nor the embedded synthesizer opens.
    std::unique_ptr<MidiOutHandle> Open(int id) override;
    void Beep(std::uint32_t hertz, std::uint32_t milliseconds) override;  // the terminal bell
    std::string WhyNotOpen() const override { return problem_.Get(); }

private:
    std::string soundFont_;
    ProblemNote problem_;
};

}  // namespace solvane
