#include "support/ByteImage.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>

#include "tests/support/FakeFileChooser.h"
#include "tests/support/RecordingSink.h"
#include "tests/support/SmfBuilder.h"

namespace solvane {
namespace {

using test::Bytes;
using test::FakeFileChooser;
using test::RecordingSink;
using test::TempFile;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

bool AllZero(const std::uint8_t* from, const std::uint8_t* to) {
    return std::all_of(from, to, [](std::uint8_t b) { return b == 0; });
}

Bytes Pattern(std::size_t n) {
    Bytes bytes(n);
    for (std::size_t i = 0; i < n; ++i) bytes[i] = static_cast<std::uint8_t>(i % 253 + 1);
    return bytes;
}

TEST(ByteImage, StartsEmptyAndReadsAsZerosEverywhere) {
    const ByteImage image;
    EXPECT_EQ(image.size, 0);
    EXPECT_EQ(image.cursor, 0);
    EXPECT_TRUE(AllZero(image.Bytes(), image.Bytes() + kImageCapacity));
    EXPECT_EQ(image.At(-1), 0);
    EXPECT_EQ(image.At(kImageCapacity), 0);
}

TEST(ByteImage, AWriteShowsThroughBytesAndLeavesTheRestZero) {
    ByteImage image;
    std::uint8_t* bytes = image.MutableBytes();
    ASSERT_NE(bytes, nullptr);
    bytes[0] = 0x4D;
    bytes[kImageCapacity - 1] = 0x7F;

    EXPECT_EQ(image.Bytes(), bytes);
    EXPECT_EQ(image.At(0), 0x4D);
    EXPECT_EQ(image.At(kImageCapacity - 1), 0x7F);
    EXPECT_TRUE(AllZero(image.Bytes() + 1, image.Bytes() + kImageCapacity - 1));
}

TEST(ByteImage, APartialBlockReadsZeroBehindItAndGrowsWholeWhenAskedFor) {
    ByteImage image;
    std::uint8_t* part = image.MutableBytes(4);
    ASSERT_NE(part, nullptr);
    std::copy_n("MTrk", 4, part);
    EXPECT_EQ(image.At(3), 'k');
    EXPECT_EQ(image.At(4), 0);
    EXPECT_EQ(image.At(kImageCapacity - 1), 0);
    EXPECT_EQ(image.MutableBytes(2), part);  // room enough already

    std::uint8_t* whole = image.MutableBytes();
    ASSERT_NE(whole, nullptr);
    whole[kImageCapacity - 1] = 0x7F;
    EXPECT_EQ(image.At(0), 'M');
    EXPECT_EQ(image.At(3), 'k');
    EXPECT_EQ(image.At(kImageCapacity - 1), 0x7F);
    EXPECT_TRUE(AllZero(image.Bytes() + 4, image.Bytes() + kImageCapacity - 1));
}

TEST(ByteImage, LoadsAFileAndLeavesTheCursorAlone) {
    RecordingSink sink;
    const Bytes content = Pattern(1000);
    TempFile file(content);
    ByteImage image;
    image.cursor = 7;

    EXPECT_EQ(image.LoadFromFile(file.path()), 1);

    EXPECT_EQ(image.size, 1000);
    EXPECT_EQ(image.cursor, 7);
    EXPECT_TRUE(std::equal(content.begin(), content.end(), image.Bytes()));
    bool zeros = true;  // a check past the end sees zeros
    for (std::int64_t i = 1000; i < kImageCapacity; ++i) zeros = zeros && image.At(i) == 0;
    EXPECT_TRUE(zeros);
    EXPECT_THAT(sink.codes(), IsEmpty());
}

TEST(ByteImage, LoadingAnOversizedFileKeepsTheFirst262144Bytes) {
    RecordingSink sink;
    const Bytes content = Pattern(262145);
    TempFile file(content);
    ByteImage image;

    EXPECT_EQ(image.LoadFromFile(file.path()), 1);

    EXPECT_EQ(image.size, kImageCapacity);
    EXPECT_TRUE(std::equal(image.Bytes(), image.Bytes() + kImageCapacity, content.begin()));
    EXPECT_THAT(sink.texts(), ElementsAre("データが大きすぎます。"));
}

TEST(ByteImage, LoadingAMissingFileLeavesSizeZero) {
    RecordingSink sink;
    TempFile absent("absent.mid");
    ByteImage image;
    image.size = 99;

    EXPECT_EQ(image.LoadFromFile(absent.path()), 0);

    EXPECT_EQ(image.size, 0);
    EXPECT_THAT(sink.codes(), ElementsAre(kGeneralCannotOpen));
}

TEST(ByteImage, SaveWritesTheFirstSizeBytesToTheChosenFile) {
    RecordingSink sink;
    TempFile target(Pattern(4000), "old.mid");  // replaced without a question
    FakeFileChooser dialog;
    dialog.QueueSave(target.path());
    ByteImage image;
    std::copy_n(Pattern(64).begin(), 64, image.MutableBytes());
    image.size = 40;

    image.SaveWithDialog();

    EXPECT_EQ(dialog.saveAsks, 1);
    EXPECT_EQ(dialog.lastExtension, "mid");
    EXPECT_EQ(dialog.lastFilter, "midi files|*.mid|");
    EXPECT_EQ(target.Read(), Bytes(Pattern(40)));
    EXPECT_THAT(sink.codes(), IsEmpty());
}

TEST(ByteImage, SavingAnEmptyImageCreatesAnEmptyFile) {
    RecordingSink sink;
    TempFile target("empty.mid");
    FakeFileChooser dialog;
    dialog.QueueSave(target.path());
    ByteImage image;
    image.SaveWithDialog();

    EXPECT_TRUE(std::filesystem::exists(target.path()));
    EXPECT_THAT(target.Read(), IsEmpty());
    EXPECT_THAT(sink.codes(), IsEmpty());
}

TEST(ByteImage, CancellingTheSaveDialogWritesNothing) {
    RecordingSink sink;
    FakeFileChooser dialog;
    ByteImage image;
    image.MutableBytes()[0] = 1;
    image.size = 1;

    image.SaveWithDialog();

    EXPECT_EQ(dialog.saveAsks, 1);
    EXPECT_THAT(sink.codes(), IsEmpty());
}

TEST(ByteImage, ReleaseEmptiesTheImage) {
    ByteImage image;
    image.MutableBytes()[10] = 9;
    image.size = 11;
    image.cursor = 5;

    image.Release();

    EXPECT_EQ(image.size, 0);
    EXPECT_EQ(image.cursor, 0);
    EXPECT_TRUE(AllZero(image.Bytes(), image.Bytes() + kImageCapacity));
}

}  // namespace
}  // namespace solvane
