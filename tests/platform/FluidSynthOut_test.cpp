#include "platform/FluidSynthOut.h"

#include <fluidsynth.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <vector>

#include "platform/FluidSynthEngine.h"
#include "tests/support/SmfBuilder.h"

namespace solvane {
namespace {

using test::TempFile;

class FluidSynthEngineTest : public ::testing::Test {
protected:
    void SetUp() override {
        const std::string soundFont = FluidSynthOut::FindSoundFont();
        if (soundFont.empty()) GTEST_SKIP() << "no General MIDI soundfont installed";
        engine = FluidSynthEngine::Create(soundFont);
        ASSERT_NE(engine, nullptr);
    }

    int Controller(int channel, int number) const {
        int value = -1;
        fluid_synth_get_cc(engine->synth(), channel, number, &value);
        return value;
    }

    std::unique_ptr<FluidSynthEngine> engine;
};

TEST_F(FluidSynthEngineTest, ControlChangesReachTheirChannel) {
    EXPECT_TRUE(engine->ShortMessage(0x002507B3));
    EXPECT_EQ(Controller(3, 7), 37);
    EXPECT_NE(Controller(0, 7), 37);
}

TEST_F(FluidSynthEngineTest, PitchBendJoinsItsTwoSevenBitHalves) {
    EXPECT_TRUE(engine->ShortMessage(0x007F01EA));
    int bend = -1;
    fluid_synth_get_pitch_bend(engine->synth(), 10, &bend);
    EXPECT_EQ(bend, 0x7F << 7 | 0x01);
}

TEST_F(FluidSynthEngineTest, ProgramChangeSelectsThePreset) {
    EXPECT_TRUE(engine->ShortMessage(0x000005C2));
    int font = -1;
    int bank = -1;
    int preset = -1;
    fluid_synth_get_program(engine->synth(), 2, &font, &bank, &preset);
    EXPECT_EQ(preset, 5);
}

TEST_F(FluidSynthEngineTest, NoteOnSoundsAndVelocityZeroEndsIt) {
    EXPECT_TRUE(engine->ShortMessage(0x00643C90));
    EXPECT_GT(fluid_synth_get_active_voice_count(engine->synth()), 0);
    EXPECT_TRUE(engine->ShortMessage(0x00003C90));
    EXPECT_TRUE(engine->ShortMessage(0x00003C80)) << "a note-off for a silent key is no failure";
}

TEST_F(FluidSynthEngineTest, PressureMessagesAreAccepted) {
    EXPECT_TRUE(engine->ShortMessage(0x00403CA0));
    EXPECT_TRUE(engine->ShortMessage(0x000040D0));
}

TEST_F(FluidSynthEngineTest, ABareDataByteIsRefused) {
    EXPECT_FALSE(engine->ShortMessage(0x00643C10));
}

TEST_F(FluidSynthEngineTest, SilencingReleasesThePedalAndResetsControllersOnEveryChannel) {
    for (std::uint32_t channel = 0; channel < 16; ++channel) {
        engine->ShortMessage(0x007F40B0u | channel);  // sustain down
        engine->ShortMessage(0x004001B0u | channel);  // modulation
    }
    EXPECT_TRUE(engine->Silence());
    for (int channel = 0; channel < 16; ++channel) {
        EXPECT_EQ(Controller(channel, 64), 0) << "channel " << channel;
        EXPECT_EQ(Controller(channel, 1), 0) << "channel " << channel;
    }
}

TEST_F(FluidSynthEngineTest, OnlyExclusiveMessagesArePlayedAsLongMessages) {
    const std::uint8_t gmOn[] = {0xF0, 0x7E, 0x7F, 0x09, 0x01, 0xF7};
    const std::uint8_t escaped[] = {0xF7, 0x02, 0xF3, 0x01};
    EXPECT_EQ(engine->LongMessage(gmOn, sizeof gmOn), MidiOutHandle::LongResult::kSent);
    EXPECT_EQ(engine->LongMessage(escaped, sizeof escaped), MidiOutHandle::LongResult::kNotSent);
    EXPECT_EQ(engine->LongMessage(gmOn, 1), MidiOutHandle::LongResult::kNotSent);
    EXPECT_EQ(engine->LongMessage(nullptr, 6), MidiOutHandle::LongResult::kNotSent);
}

TEST_F(FluidSynthEngineTest, GeneralMidiSystemOnResetsControllers) {
    engine->ShortMessage(0x000A07B0);  // volume 10
    const std::uint8_t gmOn[] = {0xF0, 0x7E, 0x7F, 0x09, 0x01, 0xF7};
    ASSERT_EQ(engine->LongMessage(gmOn, sizeof gmOn), MidiOutHandle::LongResult::kSent);
    EXPECT_EQ(Controller(0, 7), 100) << "the synthesizer never saw the exclusive's body";
}

TEST(FluidSynthOut, TheSoundFontFoundIsReadable) {
    const std::string soundFont = FluidSynthOut::FindSoundFont();
    if (soundFont.empty()) GTEST_SKIP() << "no General MIDI soundfont installed";
    EXPECT_EQ(access(soundFont.c_str(), R_OK), 0);
    EXPECT_EQ(FluidSynthOut().DeviceCount(), 1);
}

TEST(FluidSynthOut, WithoutASoundFontThereIsNoOutput) {
    TempFile missing("missing.sf2");
    FluidSynthOut synth(missing.path());
    EXPECT_EQ(synth.DeviceCount(), 0);
    EXPECT_EQ(synth.Open(kDefaultDevice), nullptr);
    EXPECT_EQ(FluidSynthOut("").DeviceCount(), 0);
}

TEST(FluidSynthOut, AFileThatIsNoSoundFontDoesNotOpen) {
    TempFile bogus(test::Bytes{'R', 'I', 'F', 'F', 0, 0, 0, 0}, "bogus.sf2");
    FluidSynthOut synth(bogus.path());
    EXPECT_EQ(synth.Open(kDefaultDevice), nullptr);
}

TEST(FluidSynthOut, OnlyTheDefaultIdAndZeroOpen) {
    const std::string soundFont = FluidSynthOut::FindSoundFont();
    if (soundFont.empty()) GTEST_SKIP() << "no General MIDI soundfont installed";
    FluidSynthOut synth(soundFont);
    EXPECT_EQ(synth.Open(1), nullptr);
    EXPECT_EQ(synth.Open(-5), nullptr);
}

}  // namespace
}  // namespace solvane

namespace solvane {
namespace {

TEST(KeptSynthesizer, ASoundFontIsLoadedOncePerProcessAndTheNextUserHearsNothingOfTheLast) {
    const TempFile squares(test::SquareWaveSoundFont(), "square.sf2");
    const TempFile other(test::SquareWaveSoundFont(), "other.sf2");
    FluidSynthEngine::DropKept();
    auto first = FluidSynthEngine::Borrow(squares.path());
    ASSERT_NE(first, nullptr);
    const FluidSynthEngine* loaded = first.get();
    first->ShortMessage(0x7F3C90);  // still sounding when given back
    std::vector<float> sound(2 * 4096);
    fluid_synth_write_float(first->synth(), 4096, sound.data(), 0, 2, sound.data(), 1, 2);
    FluidSynthEngine::GiveBack(std::move(first));

    auto another = FluidSynthEngine::Borrow(other.path());
    EXPECT_NE(another.get(), loaded) << "another soundfont is another synthesizer";
    auto again = FluidSynthEngine::Borrow(squares.path());
    EXPECT_EQ(again.get(), loaded);
    EXPECT_EQ(fluid_synth_get_active_voice_count(again->synth()), 0);
    fluid_synth_write_float(again->synth(), 4096, sound.data(), 0, 2, sound.data(), 1, 2);
    EXPECT_TRUE(std::all_of(sound.begin(), sound.end(), [](float s) { return std::abs(s) < 1e-4f; }));
    EXPECT_NE(FluidSynthEngine::Borrow(squares.path()).get(), loaded) << "lent to one user at a time";
    FluidSynthEngine::DropKept();
}

}  // namespace
}  // namespace solvane
