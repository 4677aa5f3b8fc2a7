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

// Short data are held in the record itself and long data in a block: every
// operation must keep the bytes whichever way they are held, and whichever
// way the other side holds them.
TEST(EventBytes, ShortAndLongDataBehaveAlike) {
    for (std::size_t n = 0; n <= 20; ++n) {
        SCOPED_TRACE(n);
        std::vector<std::uint8_t> expected(n);
        for (std::size_t i = 0; i < n; ++i) expected[i] = static_cast<std::uint8_t>(0xA0 + i);
        EventBytes pushed;
        for (const std::uint8_t b : expected) pushed.push_back(b);
        EventBytes assigned;
        assigned.assign(expected.begin(), expected.end());
        EXPECT_TRUE(pushed == expected);
        EXPECT_TRUE(assigned == expected);
        EXPECT_EQ(assigned.size(), n);

        EventBytes grown = assigned;  // grows one byte at a time across the boundary
        grown.resize(n + 3);
        EXPECT_THAT(std::vector<std::uint8_t>(grown.begin() + static_cast<std::ptrdiff_t>(n), grown.end()),
                    ElementsAre(0, 0, 0));
        grown.resize(n);
        EXPECT_TRUE(grown == expected);

        EventBytes other{1, 2, 3, 4, 5, 6, 7, 8, 9, 10};  // always in a block
        EventBytes small{0x2F};                           // always in the record
        other.swap(assigned);
        EXPECT_TRUE(other == expected);
        EXPECT_EQ(assigned.size(), 10u);
        small = other;
        if (n > 0) other[0] = 0x55;
        EXPECT_TRUE(small == expected);  // a copy owns its bytes
        EventBytes moved(std::move(small));
        EXPECT_TRUE(moved == expected);
        EXPECT_THAT(small, IsEmpty());  // NOLINT(bugprone-use-after-move): the state after a move is the point
        moved = std::move(assigned);
        EXPECT_EQ(moved.size(), 10u);
        EXPECT_EQ(moved[9], 10);
    }
}

}  // namespace
}  // namespace solvane
