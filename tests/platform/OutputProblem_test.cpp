// Why an output did not open: each output names its cause, in the words the
// command line prints after the report and the help page explains.

#include "platform/OutputProblem.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>

#include "platform/DefaultMidiOut.h"
#include "platform/FluidSynthOut.h"
#include "platform/MidiOutFactory.h"
#include "tests/support/FakeSequencer.h"
#include "tests/support/SmfBuilder.h"

namespace solvane {
namespace {

using test::FakeSequencer;
using test::TempFile;
using ::testing::HasSubstr;

struct Cause {
    const char* situation;
    std::function<std::string(FakeSequencer&, const std::string& squares)> whyNotOpen;
    const char* words;  // what the user must read to know what to do
};

TEST(OutputProblem, EveryOutputThatCannotOpenSaysWhy) {
    const TempFile squares(test::SquareWaveSoundFont(), "square.sf2");
    const TempFile notASoundFont(test::Bytes{'n', 'o'}, "no.sf2");
    const std::string bogus = notASoundFont.path();
    const Cause causes[] = {
        {"no soundfont installed",
         [](FakeSequencer&, const std::string&) {
             FluidSynthOut out("");
             EXPECT_EQ(out.Open(kDefaultDevice), nullptr);
             return out.WhyNotOpen();
         },
         "install the package fluid-soundfont-gm"},
        {"a soundfont that is none",
         [bogus](FakeSequencer&, const std::string&) {
             FluidSynthOut out(bogus);
             EXPECT_EQ(out.Open(kDefaultDevice), nullptr);
             return out.WhyNotOpen();
         },
         "cannot load the soundfont"},
        {"no audio server or card",
         [](FakeSequencer&, const std::string& soundFont) {
             FluidSynthOut out(soundFont, {"no-such-audio-driver"});
             EXPECT_EQ(out.Open(kDefaultDevice), nullptr);
             return out.WhyNotOpen();
         },
         "no PipeWire or PulseAudio server"},
        {"no sequencer for a chosen port",
         [](FakeSequencer& sequencer, const std::string&) {
             sequencer.available = false;
             ChosenMidiOut out;
             out.Choose(ChoiceOfOutputName("TiMidity:TiMidity port 0"));
             EXPECT_EQ(out.DeviceCount(), 0);
             return out.WhyNotOpen();
         },
         "no ALSA sequencer"},
        {"neither a synthesizer port nor a soundfont for the default",
         [](FakeSequencer& sequencer, const std::string&) {
             sequencer.SetPorts({test::PortOf(14, 0, "Midi Through", "Midi Through Port-0")});
             DefaultMidiOut out("");
             EXPECT_EQ(out.DeviceCount(), 0);
             return out.WhyNotOpen();
         },
         "no synthesizer runs on the ALSA sequencer, and the built-in synthesizer has no soundfont"},
    };
    for (const Cause& cause : causes) {
        FakeSequencer sequencer;
        EXPECT_THAT(cause.whyNotOpen(sequencer, squares.path()), HasSubstr(cause.words)) << cause.situation;
    }
}

TEST(OutputProblem, AnOutputThatOpenedHasNothingToSay) {
    FakeSequencer sequencer;
    const TempFile squares(test::SquareWaveSoundFont(), "square.sf2");
    TempFile wav("out.wav");
    ChosenMidiOut out;
    out.Choose({MidiOutKind::kWav, wav.path(), squares.path()});
    auto handle = out.Open(kDefaultDevice);
    ASSERT_NE(handle, nullptr);
    EXPECT_EQ(out.WhyNotOpen(), "");
    handle->Close();
}

}  // namespace
}  // namespace solvane
