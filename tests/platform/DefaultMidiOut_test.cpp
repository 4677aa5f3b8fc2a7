#include "platform/DefaultMidiOut.h"

#include <gtest/gtest.h>

#include "platform/AlsaPortOut.h"
#include "platform/FluidSynthOut.h"
#include "platform/MidiPort.h"
#include "tests/support/SmfBuilder.h"

namespace solvane {
namespace {

using test::TempFile;

bool SynthPortRunning() { return ChooseDefaultPort(AlsaPortOut::ListPorts()) >= 0; }

TEST(DefaultMidiOut, WithNeitherSynthPortNorSoundFontThereIsNoOutput) {
    if (SynthPortRunning()) GTEST_SKIP() << "a synthesizer port is running";
    TempFile missing("missing.sf2");
    DefaultMidiOut device(missing.path());
    EXPECT_EQ(device.DeviceCount(), 0);
    EXPECT_EQ(device.Open(kDefaultDevice), nullptr);
}

TEST(DefaultMidiOut, ASoundFontAloneMakesAnOutput) {
    const std::string soundFont = FluidSynthOut::FindSoundFont();
    if (soundFont.empty()) GTEST_SKIP() << "no General MIDI soundfont installed";
    EXPECT_EQ(DefaultMidiOut(soundFont).DeviceCount(), 1);
}

TEST(DefaultMidiOut, OnlyTheDefaultIdAndZeroOpen) {
    DefaultMidiOut device;
    EXPECT_EQ(device.Open(2), nullptr);
    EXPECT_EQ(device.Open(-3), nullptr);
}

TEST(AlsaPortOut, WithoutASequencerThereAreNoPortsAndNoOutput) {
    if (AlsaPortOut::SequencerAvailable()) GTEST_SKIP() << "this machine has an ALSA sequencer";
    EXPECT_TRUE(AlsaPortOut::ListPorts().empty());
    AlsaPortOut port(128, 0);
    EXPECT_EQ(port.DeviceCount(), 0);
    EXPECT_EQ(port.Open(kDefaultDevice), nullptr);
}

TEST(AlsaPortOut, APortThatIsNotThereDoesNotOpen) {
    AlsaPortOut port(250, 250);
    EXPECT_EQ(port.Open(kDefaultDevice), nullptr);
    EXPECT_EQ(port.Open(1), nullptr);
}

}  // namespace
}  // namespace solvane
