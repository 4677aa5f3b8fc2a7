#include "platform/MidiBytes.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <vector>

namespace solvane {
namespace {

using ::testing::ElementsAreArray;

TEST(MidiBytes, EveryStatusHasTheLengthOfItsMessage) {
    struct Case {
        std::uint8_t status;
        std::size_t length;
    };
    const Case cases[] = {
        {0x00, 0}, {0x7F, 0},                                   // data bytes
        {0x80, 3}, {0x8F, 3}, {0x90, 3}, {0xA5, 3}, {0xBF, 3},  // notes, key pressure, controllers
        {0xC0, 2}, {0xC9, 2}, {0xD0, 2}, {0xDF, 2},             // program, channel pressure
        {0xE0, 3}, {0xEF, 3},                                   // pitch bend
        {0xF0, 0}, {0xF7, 0},                                   // exclusive: long messages only
        {0xF1, 2}, {0xF2, 3}, {0xF3, 2}, {0xF6, 1},
        {0xF8, 1}, {0xFA, 1}, {0xFE, 1}, {0xFF, 1},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ShortMessageLength(c.status), c.length) << "status " << static_cast<int>(c.status);
    }
}

TEST(MidiBytes, APackedMessageUnpacksLowByteFirst) {
    const ShortMessageBytes noteOn = UnpackShortMessage(0x00643C90);
    EXPECT_EQ(noteOn.length, 3u);
    EXPECT_THAT(noteOn.bytes, ElementsAreArray({0x90, 0x3C, 0x64}));
    const ShortMessageBytes program = UnpackShortMessage(0x000005C9);
    EXPECT_EQ(program.length, 2u);
    EXPECT_EQ(program.bytes[0], 0xC9);
    EXPECT_EQ(program.bytes[1], 0x05);
}

TEST(MidiBytes, TheTopByteOfAPackedMessageIsIgnored) {
    const ShortMessageBytes message = UnpackShortMessage(0xAB4007B1);
    EXPECT_EQ(message.length, 3u);
    EXPECT_THAT(message.bytes, ElementsAreArray({0xB1, 0x07, 0x40}));
}

TEST(MidiBytes, SilencingReleasesThePedalThenNotesThenControllersOnEveryChannel) {
    std::vector<std::uint32_t> expected;
    for (std::uint32_t channel = 0; channel < 16; ++channel) {
        expected.push_back(0xB0u | channel | 64u << 8);   // sustain off
        expected.push_back(0xB0u | channel | 123u << 8);  // all notes off
        expected.push_back(0xB0u | channel | 121u << 8);  // reset all controllers
    }
    EXPECT_THAT(SilencingMessages(), ElementsAreArray(expected));
}

}  // namespace
}  // namespace solvane
