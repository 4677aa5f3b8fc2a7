#include "playback/MidiControler.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "tests/support/ManualTimer.h"
#include "tests/support/RecordingMidiOut.h"
#include "tests/support/RecordingSink.h"

namespace solvane {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using test::RecordingMidiOut;
using test::RecordingSink;

class MidiControlerTest : public ::testing::Test {
protected:
    void SetUp() override { MidiControler::reportNoDevice = true; }
    test::ManualTimer timer;
    RecordingMidiOut out;
    RecordingSink sink;
};

TEST_F(MidiControlerTest, ShortMessagesArePackedStatusFirst) {
    MidiControler device(kDefaultDevice);
    device.NoteOn(60, 100, 0);
    device.NoteOff(60, 3);
    device.ProgramChange(5, 9);
    device.SendShort(0x40, 0x07, 0xB1);
    EXPECT_THAT(out.lines(), ElementsAre("90 3C 64", "83 3C 00", "C9 05 00", "B1 07 40"));
    EXPECT_THAT(out.openedIds(), ElementsAre(-1));
    EXPECT_THAT(sink.codes(), IsEmpty());
}

TEST_F(MidiControlerTest, ExclusiveEventsLoseTheirStoredSize) {
    MidiControler device(kDefaultDevice);
    device.SendGmSystemOn();
    const std::uint8_t gs[] = {0xF0, 0x07, 0x41, 0x10, 0x42, 0x12, 0x40, 0x00, 0xF7};
    device.SendExclusive(sizeof gs, gs);
    const std::uint8_t unsized[] = {0xF0, 0x43, 0x12, 0xF7};  // the byte after F0 is always taken as the size
    device.SendExclusive(sizeof unsized, unsized);
    const std::uint8_t plain[] = {0x7E, 0x01};
    device.SendExclusive(sizeof plain, plain);
    EXPECT_THAT(out.lines(), ElementsAre("F0 7E 7F 09 01 F7", "F0 41 10 42 12 40 00 F7", "F0 12 F7", "7E 01"));
}

TEST_F(MidiControlerTest, LongExclusiveKeepsEveryByteAfterATwoByteSize) {
    MidiControler device(kDefaultDevice);
    std::vector<std::uint8_t> stored = {0xF0, 0x81, 0x00};  // size 128
    for (int i = 0; i < 127; ++i) stored.push_back(static_cast<std::uint8_t>(i));
    stored.push_back(0xF7);
    device.SendExclusive(static_cast<std::uint32_t>(stored.size()), stored.data());
    const std::vector<test::Sent> sent = out.sent();
    ASSERT_EQ(sent.size(), 1u);
    const std::vector<std::uint8_t>& wire = sent[0].bytes;
    ASSERT_EQ(wire.size(), 129u);
    EXPECT_EQ(wire.front(), 0xF0);
    EXPECT_EQ(wire[1], 0x00);
    EXPECT_EQ(wire.back(), 0xF7);
}

TEST_F(MidiControlerTest, EscapeSendsItsBytesAsTheyAre) {
    MidiControler device(kDefaultDevice);
    const std::uint8_t escape[] = {0xF7, 0x03, 0xF8, 0xFA, 0xFC};
    device.SendExclusive(sizeof escape, escape);
    EXPECT_THAT(out.lines(), ElementsAre("F8 FA FC"));
}

TEST_F(MidiControlerTest, CloseResetsThenCloses) {
    MidiControler device(kDefaultDevice);
    device.Close();
    EXPECT_THAT(out.lines(), ElementsAre("RESET", "CLOSE"));
}

TEST_F(MidiControlerTest, NoOutputIsReportedOncePerRun) {
    out.deviceCount = 0;
    MidiControler first(kDefaultDevice);
    MidiControler second(kDefaultDevice);
    EXPECT_EQ(first.handle, nullptr);
    EXPECT_EQ(second.handle, nullptr);
    EXPECT_THAT(sink.codes(), ElementsAre(kControlerOpenFailed));
    EXPECT_THAT(sink.texts(), ElementsAre("Midiデバイスのオープンに失敗しました。"));
    first.Close();  // nothing open: nothing sent, nothing reported
    EXPECT_THAT(out.lines(), IsEmpty());
    EXPECT_THAT(sink.codes(), ElementsAre(kControlerOpenFailed));
}

TEST_F(MidiControlerTest, AFailedOpenIsReportedEveryTime) {
    out.openFails = true;
    MidiControler first(kDefaultDevice);
    MidiControler second(kDefaultDevice);
    EXPECT_THAT(sink.codes(), ElementsAre(kControlerOpenFailed, kControlerOpenFailed));
}

TEST_F(MidiControlerTest, FailuresAreReportedOnlyWhereTheyMatter) {
    MidiControler device(kDefaultDevice);
    out.shortFails = true;
    device.NoteOn(60, 100, 0);       // ignored
    device.SendShort(0, 64, 0xB0);   // ignored
    device.ProgramChange(1, 0);      // reported
    out.longResult = MidiOutHandle::LongResult::kNotSent;
    device.SendGmSystemOn();         // a beep, no report
    out.longResult = MidiOutHandle::LongResult::kNotReleased;
    device.SendGmSystemOn();         // reported
    out.resetFails = true;
    out.closeFails = true;
    device.Close();
    EXPECT_THAT(sink.codes(), ElementsAre(kControlerProgramFailed, kControlerExclusiveFailed, kControlerCloseFailed,
                                          kControlerCloseFailed));
    EXPECT_EQ(out.beeps(), 1);
}

}  // namespace
}  // namespace solvane
