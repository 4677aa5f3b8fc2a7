#include "platform/MidiOutFactory.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "platform/AlsaPortOut.h"
#include "platform/DefaultMidiOut.h"
#include "platform/FluidSynthOut.h"
#include "platform/TraceMidiOut.h"
#include "platform/WavMidiOut.h"
#include "tests/support/FakeSequencer.h"
#include "tests/support/SmfBuilder.h"

namespace solvane {
namespace {

using ::testing::HasSubstr;
using test::TempFile;

TEST(MidiOutFactory, TheDefaultChoiceIsTheDefaultDevice) {
    const MadeMidiOut made = MakeMidiOutDevice({});
    EXPECT_NE(dynamic_cast<DefaultMidiOut*>(made.device.get()), nullptr);
    EXPECT_EQ(made.error, "");
}

TEST(MidiOutFactory, ATraceGoesToTheFileNamed) {
    TempFile file("trace.txt");
    const MadeMidiOut made = MakeMidiOutDevice({MidiOutKind::kTrace, file.path(), {}});
    ASSERT_NE(dynamic_cast<TraceMidiOut*>(made.device.get()), nullptr) << made.error;
    auto out = made.device->Open(kDefaultDevice);
    ASSERT_NE(out, nullptr);
    out->ShortMessage(0x000000FC);
    out->Close();
    const test::Bytes written = file.Read();
    EXPECT_THAT(std::string(written.begin(), written.end()), HasSubstr(" FC\n"));
}

TEST(MidiOutFactory, CheckingAFileLeavesItsContentsAlone) {
    TempFile file(test::Bytes{'k', 'e', 'e', 'p'}, "trace.txt");
    const MadeMidiOut made = MakeMidiOutDevice({MidiOutKind::kTrace, file.path(), {}});
    ASSERT_NE(made.device, nullptr);
    EXPECT_EQ(file.Read(), (test::Bytes{'k', 'e', 'e', 'p'}));
}

TEST(MidiOutFactory, FilesThatCannotBeWrittenAreToldAtOnce) {
    TempFile folder("missing-folder");
    const std::string path = folder.path() + "/out";
    for (MidiOutKind kind : {MidiOutKind::kTrace, MidiOutKind::kWav}) {
        const MadeMidiOut made = MakeMidiOutDevice({kind, path, {}});
        EXPECT_EQ(made.device, nullptr);
        EXPECT_THAT(made.error, HasSubstr(FluidSynthOut::FindSoundFont().empty() && kind == MidiOutKind::kWav
                                              ? "soundfont"
                                              : path));
    }
}

TEST(MidiOutFactory, AFileOutputNeedsAName) {
    for (MidiOutKind kind : {MidiOutKind::kTrace, MidiOutKind::kWav}) {
        const MadeMidiOut made = MakeMidiOutDevice({kind, "", {}});
        EXPECT_EQ(made.device, nullptr);
        EXPECT_THAT(made.error, HasSubstr("file name"));
    }
}

TEST(MidiOutFactory, AWavGoesToTheFileNamedWhenThereIsASoundFont) {
    if (FluidSynthOut::FindSoundFont().empty()) GTEST_SKIP() << "no General MIDI soundfont installed";
    TempFile file("out.wav");
    const MadeMidiOut made = MakeMidiOutDevice({MidiOutKind::kWav, file.path(), {}});
    EXPECT_NE(dynamic_cast<WavMidiOut*>(made.device.get()), nullptr) << made.error;
}

TEST(MidiOutFactory, APortThatIsNotThereIsAnError) {
    const MadeMidiOut made = MakeMidiOutDevice({MidiOutKind::kPort, "no such port anywhere 4711", {}});
    EXPECT_EQ(made.device, nullptr);
    if (AlsaPortOut::SequencerAvailable()) {
        EXPECT_THAT(made.error, HasSubstr("\"no such port anywhere 4711\""));
    } else {
        EXPECT_THAT(made.error, HasSubstr("sequencer"));
    }
}

MidiPort Port(int client, int port, std::string clientName, std::string portName, bool synth) {
    return {client, port, std::move(clientName), std::move(portName), synth, false};
}

TEST(MidiOutputsDescription, ListsPortsAndNamesTheDefaultPort) {
    MidiOutputs outputs;
    outputs.sequencer = true;
    outputs.ports = {Port(14, 0, "Midi Through", "Midi Through Port-0", false),
                     Port(128, 0, "FLUID Synth (7)", "Synth input port (7:0)", true)};
    outputs.defaultPort = 1;
    outputs.soundFont = "/sf.sf2";
    EXPECT_EQ(DescribeMidiOutputs(outputs),
              "14:0  Midi Through:Midi Through Port-0  [through]\n"
              "128:0  FLUID Synth (7):Synth input port (7:0)  [synth]\n"
              "built-in: embedded synthesizer with /sf.sf2\n"
              "default: 128:0  FLUID Synth (7):Synth input port (7:0)  [synth]\n");
}

TEST(MidiOutputsDescription, FallsBackToTheEmbeddedSynthesizer) {
    MidiOutputs outputs;
    outputs.sequencer = false;
    outputs.soundFont = "/usr/share/sounds/sf2/default-GM.sf2";
    EXPECT_EQ(DescribeMidiOutputs(outputs),
              "no ALSA sequencer (/dev/snd/seq): no MIDI ports\n"
              "built-in: embedded synthesizer with /usr/share/sounds/sf2/default-GM.sf2\n"
              "default: embedded synthesizer with /usr/share/sounds/sf2/default-GM.sf2\n");
}

TEST(MidiOutputsDescription, SaysWhenThereIsNothingToPlayOn) {
    MidiOutputs outputs;
    outputs.sequencer = true;
    const std::string text = DescribeMidiOutputs(outputs);
    EXPECT_THAT(text, HasSubstr("no MIDI output ports\n"));
    EXPECT_THAT(text, HasSubstr("default: none"));
}

TEST(MidiOutputsDescription, TheListingAgreesWithTheDefaultChoice) {
    const MidiOutputs outputs = ListMidiOutputs();
    EXPECT_EQ(outputs.sequencer, AlsaPortOut::SequencerAvailable());
    EXPECT_EQ(outputs.defaultPort, ChooseDefaultPort(outputs.ports));
    EXPECT_EQ(outputs.soundFont, FluidSynthOut::FindSoundFont());
}

}  // namespace
}  // namespace solvane

namespace solvane {
namespace {

TEST(OutputNames, TheWindowsNamesAreTheCommandLinesNames) {
    const struct {
        const char* name;
        MidiOutKind kind;
    } cases[] = {{"", MidiOutKind::kDefault},
                 {"default", MidiOutKind::kDefault},
                 {"Built-In", MidiOutKind::kBuiltIn},
                 {"TiMidity:TiMidity port 0", MidiOutKind::kPort},
                 {"128:0", MidiOutKind::kPort}};
    for (const auto& c : cases) {
        const MidiOutChoice choice = ChoiceOfOutputName(c.name);
        EXPECT_EQ(choice.kind, c.kind) << c.name;
        EXPECT_EQ(choice.target, c.kind == MidiOutKind::kPort ? c.name : "") << c.name;
    }
}

TEST(OutputNames, EveryListedPortIsFoundByItsName) {
    // "Synth:1" also reads as port 1 of the client Synth, which is the other one.
    const std::vector<MidiPort> ports = {test::PortOf(20, 0, "Synth", "1"), test::PortOf(20, 1, "Synth", "Other"),
                                         test::PortOf(128, 0, "FLUID Synth (7)", "Synth input port (7:0)", true)};
    for (std::size_t i = 0; i < ports.size(); ++i) {
        EXPECT_EQ(FindPort(ports, OutputName(ports[i])), static_cast<int>(i)) << OutputName(ports[i]);
    }
}

TEST(OutputNames, APortIsOpenedFromTheSequencersListOfNow) {
    test::FakeSequencer sequencer;
    sequencer.SetPorts({test::PortOf(128, 0, "TiMidity", "TiMidity port 0", true)});
    EXPECT_NE(MakeMidiOutDevice(ChoiceOfOutputName("TiMidity:TiMidity port 0")).device, nullptr);
    sequencer.SetPorts({});
    const MadeMidiOut gone = MakeMidiOutDevice(ChoiceOfOutputName("TiMidity:TiMidity port 0"));
    EXPECT_EQ(gone.device, nullptr);
    EXPECT_THAT(gone.error, HasSubstr("no MIDI output port matches"));
    EXPECT_THAT(DescribeMidiOutputs(ListMidiOutputs("/chosen.sf2")), HasSubstr("built-in: embedded synthesizer with /chosen.sf2\n"));
}

}  // namespace
}  // namespace solvane
