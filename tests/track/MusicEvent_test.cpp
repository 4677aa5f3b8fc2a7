#include "track/MusicEvent.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <utility>

#include "tests/support/RecordingSink.h"
#include "tests/support/TrackFixtures.h"

namespace solvane {
namespace {

using test::Bytes;
using test::RecordingSink;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

MusicEvent TextOf(std::int32_t length) { return test::Meta(3, 0x01, Bytes(static_cast<std::size_t>(length), 'x')); }

TEST(EventRecord, StartsWithOnlyItsDeltaAndNoChannel) {
    const MusicEvent event(42);
    EXPECT_EQ(event.delta, 42);
    EXPECT_EQ(event.type, kTypeMarked);
    EXPECT_EQ(event.key, 0);
    EXPECT_EQ(event.duration, 0);
    EXPECT_EQ(event.velocity, 0);
    EXPECT_EQ(event.subtype, 0);
    EXPECT_EQ(event.value, 0);
    EXPECT_EQ(event.length, 0);
    EXPECT_EQ(event.channel, kNoChannel);
    for (std::int64_t i : {-1, 0, 255, 256, 100000}) EXPECT_EQ(event.DataByte(i), 0);
}

TEST(EventRecord, ACopyHoldsEveryFieldAndTheFirstLengthBytes) {
    MusicEvent source = test::NoteOn(7, 60, 99, 4);
    source.duration = 11;
    source.subtype = 3;
    source.value = -5;
    source.data = {1, 2, 3, 4, 5, 6};
    source.length = 4;

    const MusicEvent copy(source);

    EXPECT_EQ(test::Fingerprint(copy), "144/7/60/11/99/3/-5/4/4:01020304");
    EXPECT_EQ(copy.DataByte(4), 0);
    EXPECT_EQ(source.data.size(), 6u);  // the source is left as it was
}

TEST(EventRecord, DestroyingMoreThan256DataBytesIsReportedForEveryCopy) {
    RecordingSink sink;
    {
        const MusicEvent original = TextOf(300);
        const MusicEvent copy(original);  // NOLINT(performance-unnecessary-copy-initialization)
        MusicEvent assigned;
        assigned = original;
        const MusicEvent exact = TextOf(256);
        EXPECT_THAT(sink.codes(), IsEmpty());
    }
    EXPECT_THAT(sink.codes(), ElementsAre(kEventDataTooLarge, kEventDataTooLarge, kEventDataTooLarge));
    EXPECT_THAT(sink.texts(), ::testing::Each(std::string("イベントのデータサイズが大きすぎます。")));
}

TEST(EventRecord, AMovedFromRecordReportsNothing) {
    RecordingSink sink;
    {
        MusicEvent original = TextOf(300);
        const MusicEvent moved(std::move(original));
        EXPECT_EQ(moved.length, 300);
        EXPECT_EQ(moved.DataByte(299), 'x');
    }
    EXPECT_THAT(sink.codes(), ElementsAre(kEventDataTooLarge));
}

TEST(EventRecord, OverwritingALargeRecordReportsTheDataItLoses) {
    RecordingSink sink;
    MusicEvent target = TextOf(300);
    target = test::NoteOn(0, 60);
    EXPECT_THAT(sink.codes(), ElementsAre(kEventDataTooLarge));
    EXPECT_EQ(target.type, kTypeNoteOn);
    EXPECT_EQ(target.length, 3);
}

}  // namespace
}  // namespace solvane
