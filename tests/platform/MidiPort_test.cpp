#include "platform/MidiPort.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace solvane {
namespace {

MidiPort Port(int client, int port, std::string clientName, std::string portName, bool synth = false,
              bool hardware = false) {
    return {client, port, std::move(clientName), std::move(portName), synth, hardware};
}

const MidiPort kThrough = Port(14, 0, "Midi Through", "Midi Through Port-0");
const MidiPort kKeyboard = Port(20, 0, "USB Keystation", "USB Keystation MIDI 1", false, true);
const MidiPort kWavetable = Port(24, 0, "Emu10k1 WaveTable", "Emu10k1 Port 0", true, true);
const MidiPort kFluid = Port(128, 0, "FLUID Synth (4321)", "Synth input port (4321:0)", true);
const MidiPort kTimidity0 = Port(129, 0, "TiMidity", "TiMidity port 0", true);
const MidiPort kTimidity1 = Port(129, 1, "TiMidity", "TiMidity port 1", true);

TEST(DefaultPortChoice, DependsOnWhatIsListed) {
    struct Case {
        const char* what;
        std::vector<MidiPort> ports;
        int chosen;
    };
    const Case cases[] = {
        {"nothing listed", {}, -1},
        {"only the loopback", {kThrough}, -1},
        {"a keyboard may make no sound", {kThrough, kKeyboard}, -1},
        {"a running soft synth", {kThrough, kKeyboard, kFluid}, 2},
        {"a device synth before a program", {kFluid, kThrough, kWavetable}, 2},
        {"the lowest address among programs", {kTimidity1, kFluid, kTimidity0}, 1},
        {"a loopback calling itself a synth", {Port(14, 0, "Midi Through", "Midi Through Port-0", true)}, -1},
        {"the system client never", {Port(0, 0, "System", "Timer", true)}, -1},
    };
    for (const Case& c : cases) EXPECT_EQ(ChooseDefaultPort(c.ports), c.chosen) << c.what;
}

TEST(DefaultPortChoice, NamesAndTypesMarkSynthesizers) {
    EXPECT_TRUE(LooksLikeSynth(130, "Some Client", "out", true));
    EXPECT_TRUE(LooksLikeSynth(128, "FLUID Synth (99)", "Synth input port (99:0)", false));
    EXPECT_TRUE(LooksLikeSynth(129, "TiMidity", "TiMidity port 0", false));
    EXPECT_TRUE(LooksLikeSynth(28, "Roland", "SynthModule", false));
    EXPECT_FALSE(LooksLikeSynth(14, "Midi Through", "Midi Through Port-0", false));
    EXPECT_FALSE(LooksLikeSynth(20, "USB Keystation", "USB Keystation MIDI 1", false));
    EXPECT_FALSE(LooksLikeSynth(0, "System", "Timer", true));
}

TEST(DefaultPortChoice, TheLoopbackIsKnownByEitherName) {
    EXPECT_TRUE(IsMidiThrough(kThrough));
    EXPECT_TRUE(IsMidiThrough(Port(15, 0, "Other", "midi through port-1")));
    EXPECT_FALSE(IsMidiThrough(kFluid));
}

TEST(PortByName, FindsWhatTheUserMeant) {
    const std::vector<MidiPort> ports = {kThrough, kKeyboard, kFluid, kTimidity1, kTimidity0};
    struct Case {
        const char* name;
        int found;
    };
    const Case cases[] = {
        {"128:0", 2},
        {" 129:1 ", 3},
        {"129:0", 4},
        {"129", 4},                 // a client alone: its first port
        {"14:0", 0},                // the loopback when asked for by name
        {"TiMidity:1", 3},          // client name and port number
        {"timidity:0", 4},
        {"fluid", 2},               // part of the client name, any case
        {"SYNTH INPUT", 2},         // part of the port name
        {"Keystation MIDI", 1},
        {"TiMidity port 1", 3},
        {"128:1", -1},              // no such port
        {"130", -1},
        {"9999999999999:0", -1},    // a number too large for a client
        {"Yamaha", -1},
        {"", -1},
        {"   ", -1},
        {":", -1},
        {"(:)", -1},
    };
    for (const Case& c : cases) EXPECT_EQ(FindPort(ports, c.name), c.found) << '"' << c.name << '"';
}

TEST(PortByName, NothingIsFoundInAnEmptyList) {
    EXPECT_EQ(FindPort({}, "128:0"), -1);
    EXPECT_EQ(FindPort({}, "fluid"), -1);
}

TEST(PortByName, AnAddressReadsClientColonPort) {
    EXPECT_EQ(kFluid.Address(), "128:0");
    EXPECT_EQ(kTimidity1.Address(), "129:1");
}

}  // namespace
}  // namespace solvane
