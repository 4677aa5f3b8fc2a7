#include "track/EventBytes.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <utility>
#include <vector>

namespace solvane {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

TEST(EventBytes, GrowsByPushingAndKeepsEveryByte) {
    EventBytes bytes;
    EXPECT_TRUE(bytes.empty());
    EXPECT_EQ(bytes.begin(), bytes.end());
    std::vector<std::uint8_t> expected;
    for (int i = 0; i < 1000; ++i) {
        bytes.push_back(static_cast<std::uint8_t>(i * 7));
        expected.push_back(static_cast<std::uint8_t>(i * 7));
    }
    EXPECT_EQ(bytes.size(), 1000u);
    EXPECT_TRUE(bytes == expected);
    EXPECT_EQ(bytes[999], static_cast<std::uint8_t>(999 * 7));
    const std::uint8_t* room = bytes.data();
    bytes.clear();
    EXPECT_THAT(bytes, IsEmpty());
    bytes.push_back(1);
    EXPECT_EQ(bytes.data(), room);  // clearing keeps the room, as a vector does
}

TEST(EventBytes, ResizeZeroFillsAndAssignReplaces) {
    EventBytes bytes{1, 2, 3};
    bytes.resize(5);
    EXPECT_THAT(bytes, ElementsAre(1, 2, 3, 0, 0));
    bytes.resize(2);
    EXPECT_THAT(bytes, ElementsAre(1, 2));
    const std::vector<std::uint8_t> source = {9, 8, 7, 6};
    bytes.assign(source.begin() + 1, source.end());
    EXPECT_THAT(bytes, ElementsAre(8, 7, 6));
    bytes = source;
    EXPECT_TRUE(bytes == source);
}

TEST(EventBytes, CopiesAreIndependentAndMovesLeaveNothingBehind) {
    EventBytes original{0xF0, 0x7E, 0xF7};
    EventBytes copy(original);
    copy[1] = 0x7F;
    EXPECT_THAT(original, ElementsAre(0xF0, 0x7E, 0xF7));
    EXPECT_THAT(copy, ElementsAre(0xF0, 0x7F, 0xF7));

    EventBytes moved(std::move(copy));
    EXPECT_THAT(moved, ElementsAre(0xF0, 0x7F, 0xF7));
    EXPECT_THAT(copy, IsEmpty());  // NOLINT(bugprone-use-after-move): the state after a move is the point
    copy = original;
    EXPECT_TRUE(copy == original);

    moved.swap(copy);
    EXPECT_THAT(moved, ElementsAre(0xF0, 0x7E, 0xF7));
    EXPECT_THAT(copy, ElementsAre(0xF0, 0x7F, 0xF7));
    copy = EventBytes();
    EXPECT_THAT(copy, IsEmpty());
}

}  // namespace
}  // namespace solvane
