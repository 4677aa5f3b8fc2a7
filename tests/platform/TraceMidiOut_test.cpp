#include "platform/TraceMidiOut.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/SmfBuilder.h"

namespace solvane {
namespace {

using ::testing::ElementsAre;
using test::TempFile;

struct TraceLine {
    long long micros = -1;
    std::string what;
};

// Every line must be "<microseconds> <text>": digits without a leading zero
// (unless the time is 0), one space, then something.
bool SplitTraceLine(const std::string& line, TraceLine& parsed) {
    const std::size_t space = line.find(' ');
    if (space == std::string::npos || space == 0 || space + 1 >= line.size()) return false;
    for (std::size_t i = 0; i < space; ++i) {
        if (line[i] < '0' || line[i] > '9') return false;
    }
    if (line[0] == '0' && space != 1) return false;
    parsed.micros = std::stoll(line.substr(0, space));
    parsed.what = line.substr(space + 1);
    return true;
}

std::vector<TraceLine> ReadTrace(const std::string& path) {
    std::ifstream in(path);
    std::vector<TraceLine> lines;
    std::string line;
    while (std::getline(in, line)) {
        TraceLine parsed;
        const bool wellFormed = SplitTraceLine(line, parsed);
        EXPECT_TRUE(wellFormed) << "badly formed line: " << line;
        if (wellFormed) lines.push_back(parsed);
    }
    return lines;
}

std::vector<std::string> Texts(const std::vector<TraceLine>& lines) {
    std::vector<std::string> texts;
    for (const TraceLine& line : lines) texts.push_back(line.what);
    return texts;
}

TEST(TraceMidiOut, EachMessageIsOneLineOfUpperCaseHexBytes) {
    TempFile file("trace.txt");
    TraceMidiOut trace(file.path());
    auto out = trace.Open(kDefaultDevice);
    ASSERT_NE(out, nullptr);
    const std::uint8_t gmOn[] = {0xF0, 0x7E, 0x7F, 0x09, 0x01, 0xF7};
    EXPECT_EQ(out->LongMessage(gmOn, sizeof gmOn), MidiOutHandle::LongResult::kSent);
    EXPECT_TRUE(out->ShortMessage(0x00643C90));  // note on
    EXPECT_TRUE(out->ShortMessage(0x00003C83));  // note off
    EXPECT_TRUE(out->ShortMessage(0x000005C9));  // program change: two bytes
    EXPECT_TRUE(out->ShortMessage(0x003157D0));  // channel pressure: two bytes
    EXPECT_TRUE(out->ShortMessage(0x004007B1));  // control change
    EXPECT_TRUE(out->ShortMessage(0x007F00EA));  // pitch bend
    EXPECT_TRUE(out->ShortMessage(0x00000AF1));  // time code: two bytes
    EXPECT_TRUE(out->ShortMessage(0x00010AF2));  // song position: three bytes
    EXPECT_TRUE(out->ShortMessage(0x000000F8));  // clock: one byte
    EXPECT_TRUE(out->Reset());
    EXPECT_TRUE(out->Close());
    EXPECT_THAT(Texts(ReadTrace(file.path())),
                ElementsAre("F0 7E 7F 09 01 F7", "90 3C 64", "83 3C 00", "C9 05", "D0 57", "B1 07 40", "EA 00 7F",
                            "F1 0A", "F2 0A 01", "F8", "RESET"));
}

TEST(TraceMidiOut, BytesBeyondTheMessageLengthAreNotWritten) {
    TempFile file("trace.txt");
    TraceMidiOut trace(file.path());
    auto out = trace.Open(0);
    ASSERT_NE(out, nullptr);
    EXPECT_TRUE(out->ShortMessage(0xAB7F05C3));  // only C3 05 belong to a program change
    EXPECT_TRUE(out->ShortMessage(0xFF1234FE));  // active sensing alone
    out->Close();
    EXPECT_THAT(Texts(ReadTrace(file.path())), ElementsAre("C3 05", "FE"));
}

TEST(TraceMidiOut, AShortMessageWithoutStatusIsRefusedAndNotWritten) {
    TempFile file("trace.txt");
    TraceMidiOut trace(file.path());
    auto out = trace.Open(0);
    ASSERT_NE(out, nullptr);
    EXPECT_FALSE(out->ShortMessage(0x00643C40));
    EXPECT_FALSE(out->ShortMessage(0x000000F0));  // exclusive only goes as a long message
    EXPECT_EQ(out->LongMessage(nullptr, 0), MidiOutHandle::LongResult::kNotSent);
    out->Close();
    EXPECT_TRUE(ReadTrace(file.path()).empty());
}

TEST(TraceMidiOut, ALongMessageIsWrittenAsItGoesOnTheWire) {
    TempFile file("trace.txt");
    TraceMidiOut trace(file.path());
    auto out = trace.Open(0);
    ASSERT_NE(out, nullptr);
    const std::uint8_t gs[] = {0xF0, 0x41, 0x10, 0x42, 0x12, 0x40, 0x00, 0xF7};
    const std::uint8_t escaped[] = {0xF7, 0x02, 0xF3, 0x01};
    EXPECT_EQ(out->LongMessage(gs, sizeof gs), MidiOutHandle::LongResult::kSent);
    EXPECT_EQ(out->LongMessage(escaped, sizeof escaped), MidiOutHandle::LongResult::kSent);
    out->Close();
    EXPECT_THAT(Texts(ReadTrace(file.path())), ElementsAre("F0 41 10 42 12 40 00 F7", "F7 02 F3 01"));
}

TEST(TraceMidiOut, TimesCountMicrosecondsFromOpeningAndNeverGoBack) {
    TempFile file("trace.txt");
    TraceMidiOut trace(file.path());
    auto out = trace.Open(kDefaultDevice);
    ASSERT_NE(out, nullptr);
    out->ShortMessage(0x00643C90);
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    out->ShortMessage(0x00003C80);
    out->ShortMessage(0x00003C80);
    out->Close();
    const std::vector<TraceLine> lines = ReadTrace(file.path());
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_GE(lines[0].micros, 0);
    EXPECT_GE(lines[1].micros - lines[0].micros, 30000) << "the pause of 30 ms is missing";
    EXPECT_GE(lines[2].micros, lines[1].micros);
}

TEST(TraceMidiOut, EachLineIsInTheFileAsSoonAsItIsSent) {
    TempFile file("trace.txt");
    TraceMidiOut trace(file.path());
    auto out = trace.Open(kDefaultDevice);
    ASSERT_NE(out, nullptr);
    out->ShortMessage(0x00643C90);
    EXPECT_THAT(Texts(ReadTrace(file.path())), ElementsAre("90 3C 64"));
    out->Reset();
    EXPECT_THAT(Texts(ReadTrace(file.path())), ElementsAre("90 3C 64", "RESET"));
    out->Close();
}

TEST(TraceMidiOut, OpeningStartsTheFileAfresh) {
    TempFile file(test::Bytes{'o', 'l', 'd', '\n'}, "trace.txt");
    TraceMidiOut trace(file.path());
    auto out = trace.Open(kDefaultDevice);
    ASSERT_NE(out, nullptr);
    out->ShortMessage(0x000000FA);
    out->Close();
    EXPECT_THAT(Texts(ReadTrace(file.path())), ElementsAre("FA"));
}

TEST(TraceMidiOut, OnlyTheDefaultIdAndZeroOpen) {
    TempFile file("trace.txt");
    TraceMidiOut trace(file.path());
    EXPECT_EQ(trace.DeviceCount(), 1);
    EXPECT_EQ(trace.Open(1), nullptr);
    EXPECT_EQ(trace.Open(-2), nullptr);
}

TEST(TraceMidiOut, AFileThatCannotBeWrittenGivesNoOutput) {
    TempFile folder("missing-folder");
    TraceMidiOut trace(folder.path() + "/trace.txt");
    EXPECT_EQ(trace.Open(kDefaultDevice), nullptr);
}

TEST(TraceMidiOut, AClosedOutputRefusesEverything) {
    TempFile file("trace.txt");
    TraceMidiOut trace(file.path());
    auto out = trace.Open(kDefaultDevice);
    ASSERT_NE(out, nullptr);
    EXPECT_TRUE(out->Close());
    const std::uint8_t gmOn[] = {0xF0, 0x7E, 0x7F, 0x09, 0x01, 0xF7};
    EXPECT_FALSE(out->ShortMessage(0x00643C90));
    EXPECT_EQ(out->LongMessage(gmOn, sizeof gmOn), MidiOutHandle::LongResult::kNotSent);
    EXPECT_FALSE(out->Reset());
    EXPECT_FALSE(out->Close());
}

}  // namespace
}  // namespace solvane
