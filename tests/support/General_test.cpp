#include "support/General.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "support/MemoryBlock.h"
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

constexpr const char* kTooLarge = "データが大きすぎます。";
constexpr const char* kCannotOpen = "ファイルが開けませんでした。ファイルリストを絶対パスで記述してみてください。";
constexpr std::uint8_t kGuard = 0xEE;

// Bytes that differ from their neighbours, so a shifted or partial copy shows.
Bytes Pattern(std::size_t n) {
    Bytes bytes(n);
    for (std::size_t i = 0; i < n; ++i) bytes[i] = static_cast<std::uint8_t>(i * 7 + i / 251);
    return bytes;
}

TEST(WholeFileReading, ReadsAtMostTheImageCapacityAndReportsAFullBlock) {
    struct Case {
        std::size_t fileSize;
        std::int32_t size;
        bool tooLarge;
    };
    const Case cases[] = {{0, 0, false},           {1, 1, false},           {262143, 262143, false},
                          {262144, 262144, true},  {300000, 262144, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fileSize);
        RecordingSink sink;
        const Bytes content = Pattern(c.fileSize);
        TempFile file(content);
        MemoryBlock block;
        std::int32_t size = -1;

        EXPECT_EQ(ReadWholeFile(file.path(), block, size), 1);

        EXPECT_EQ(size, c.size);
        // Room for the file and zeros behind it, a header's worth at least, never more than an image.
        ASSERT_GE(block.size(), std::max<std::size_t>(static_cast<std::size_t>(size), 14));
        EXPECT_LE(block.size(), static_cast<std::size_t>(kImageCapacity));
        EXPECT_TRUE(std::equal(block.data(), block.data() + size, content.begin()));
        EXPECT_TRUE(std::all_of(block.data() + size, block.data() + block.size(), [](auto b) { return b == 0; }));
        if (c.tooLarge) {
            ASSERT_EQ(sink.reports().size(), 1u);
            EXPECT_EQ(sink.reports()[0].module, "General");
            EXPECT_EQ(sink.reports()[0].code, kGeneralDataTooLarge);
            EXPECT_EQ(sink.reports()[0].text, kTooLarge);
        } else {
            EXPECT_THAT(sink.codes(), IsEmpty());
        }
    }
}

TEST(WholeFileReading, AMissingFileReportsCode3AndLeavesSizeZero) {
    RecordingSink sink;
    TempFile absent("absent.mid");
    MemoryBlock block;
    std::int32_t size = 1234;

    EXPECT_EQ(ReadWholeFile(absent.path(), block, size), 0);

    EXPECT_EQ(size, 0);
    EXPECT_THAT(sink.codes(), ElementsAre(kGeneralCannotOpen));
    EXPECT_THAT(sink.texts(), ElementsAre(kCannotOpen));
}

TEST(WholeFileReading, AFolderCountsAsAFileThatDoesNotOpen) {
    RecordingSink sink;
    TempFile file(Bytes{1, 2, 3});
    MemoryBlock block;
    std::int32_t size = 5;

    EXPECT_EQ(ReadWholeFile(std::filesystem::path(file.path()).parent_path().string(), block, size), 0);

    EXPECT_EQ(size, 0);
    EXPECT_THAT(sink.codes(), ElementsAre(kGeneralCannotOpen));
}

TEST(WholeFileWriting, WritesExactlyTheFirstSizeBytes) {
    RecordingSink sink;
    TempFile target("out.mid");
    const Bytes block = Pattern(100);

    WriteWholeFile(target.path(), block.data(), 40);

    EXPECT_EQ(target.Read(), Bytes(block.begin(), block.begin() + 40));
    EXPECT_THAT(sink.codes(), IsEmpty());
}

TEST(WholeFileWriting, ReplacesAnExistingLongerFileWithoutAsking) {
    RecordingSink sink;
    TempFile target(Pattern(5000), "existing.mid");
    const Bytes block = {0x4D, 0x54, 0x68, 0x64};

    WriteWholeFile(target.path(), block.data(), 4);

    EXPECT_EQ(target.Read(), block);
    EXPECT_THAT(sink.codes(), IsEmpty());
}

TEST(WholeFileWriting, SizeZeroCreatesAnEmptyFile) {
    RecordingSink sink;
    TempFile target("empty.mid");
    const Bytes block(16, 0x55);

    WriteWholeFile(target.path(), block.data(), 0);

    EXPECT_TRUE(std::filesystem::exists(target.path()));
    EXPECT_THAT(target.Read(), IsEmpty());
    EXPECT_THAT(sink.codes(), IsEmpty());
}

TEST(WholeFileWriting, AnUnopenablePathReportsCode3AndCreatesNothing) {
    RecordingSink sink;
    TempFile folder("unused.mid");
    const std::string path = (std::filesystem::path(folder.path()).parent_path() / "no-such-folder" / "x.mid").string();
    const Bytes block(8, 1);

    WriteWholeFile(path, block.data(), 8);

    EXPECT_FALSE(std::filesystem::exists(path));
    EXPECT_THAT(sink.codes(), ElementsAre(kGeneralCannotOpen));
}

TEST(FileDialogs, AChosenPathGivesResult1AndCancellingGives0Silently) {
    RecordingSink sink;
    FakeFileChooser chooser;
    std::string path = "unchanged";
    EXPECT_EQ(AskOpenFileName("mid", "SMF files|*.mid|", path), 0);
    EXPECT_EQ(AskSaveFileName(path, "mid", "midi files|*.mid|"), 0);
    EXPECT_EQ(path, "unchanged");

    chooser.QueueSave("/tmp/song.mid");
    EXPECT_EQ(AskSaveFileName(path, "mid", "midi files|*.mid|"), 1);
    EXPECT_EQ(chooser.lastExtension, "mid");
    EXPECT_EQ(chooser.lastFilter, "midi files|*.mid|");
    EXPECT_EQ(path, "/tmp/song.mid");
    chooser.QueueOpen("/tmp/other.mid");
    InstallFileChooser(nullptr);

    EXPECT_EQ(AskOpenFileName("mid", "SMF files|*.mid|", path), 0);  // nothing installed: as if cancelled
    EXPECT_EQ(chooser.openAsks, 1);
    EXPECT_THAT(sink.codes(), IsEmpty());
}

TEST(MacBinaryHeader, IsDroppedWhenTheSignatureFollowsIt) {
    const Bytes file = test::SmfBuilder().Header(0, 1, 96).Track({0x00, 0xFF, 0x2F, 0x00}).Bytes();
    Bytes image(kImageCapacity, 0);
    std::fill(image.begin(), image.begin() + 128, 0xAA);
    std::copy(file.begin(), file.end(), image.begin() + 128);
    const Bytes before = image;
    std::int32_t size = static_cast<std::int32_t>(128 + file.size());

    EXPECT_EQ(StripMacBinaryHeader(image.data(), "MThd", size), 1);

    EXPECT_EQ(size, static_cast<std::int32_t>(file.size()));
    EXPECT_TRUE(std::equal(file.begin(), file.end(), image.begin()));
    // Behind the new end the old bytes stay as they were.
    EXPECT_TRUE(std::equal(image.begin() + size, image.end(), before.begin() + size));
}

TEST(MacBinaryHeader, StaysWhenTheSignatureIsNotAtOffset128) {
    Bytes image = Pattern(400);
    const Bytes before = image;
    std::int32_t size = 400;

    EXPECT_EQ(StripMacBinaryHeader(image.data(), "MThd", size), 0);

    EXPECT_EQ(size, 400);
    EXPECT_EQ(image, before);
}

TEST(MacBinaryHeader, WithoutSignatureAnyPrefixIsDroppedButAShortImageIsLeftAlone) {
    Bytes image = Pattern(300);
    const Bytes before = image;
    std::int32_t size = 300;
    EXPECT_EQ(StripMacBinaryHeader(image.data(), nullptr, size), 1);
    EXPECT_EQ(size, 172);
    EXPECT_TRUE(std::equal(image.begin(), image.begin() + 172, before.begin() + 128));

    Bytes shortImage = Pattern(100);
    std::int32_t shortSize = 100;
    EXPECT_EQ(StripMacBinaryHeader(shortImage.data(), nullptr, shortSize), 0);
    EXPECT_EQ(shortSize, 100);  // a size never goes below zero
}

// A RIFF "RMID" file is read as the Standard MIDI File in its data chunk:
// the block holds that file alone, zeros behind it, and the limit counts its
// bytes. Every other RIFF file is read as it is.
TEST(RiffMidiFiles, AreReadAsTheWrappedFileAndOthersAsTheyAre) {
    const auto smfOf = [](std::size_t n) { return test::Concat({Bytes{'M', 'T', 'h', 'd'}, Pattern(n - 4)}); };
    const Bytes smf = smfOf(301);  // odd: the chunk is padded
    const Bytes info = {'I', 'N', 'F', 'O', 'I', 'N', 'A', 'M', 3, 0, 0, 0, 'a', 'b', 'c'};
    Bytes cut = smf;
    cut.resize(200);
    struct Case {
        const char* name;
        Bytes file;
        Bytes expected;  // the image a read must give
        bool tooLarge;
    };
    const std::vector<Case> cases = {
        {"data alone", test::RiffFile("RMID", {{"data", smf}}), smf, false},
        {"data, then a list", test::RiffFile("RMID", {{"data", smf}, {"LIST", info}}), smf, false},
        {"an odd list, then data", test::RiffFile("RMID", {{"LIST", info}, {"data", smf}}), smf, false},
        {"data claiming more than the file holds", test::RiffFile("RMID", {{"data", cut, 301}}), cut, false},
        {"262,143 bytes wrapped", test::RiffFile("RMID", {{"data", smfOf(262143)}}), smfOf(262143), false},
        {"262,144 bytes wrapped", test::RiffFile("RMID", {{"data", smfOf(262144)}}), smfOf(262144), true},
        {"300,000 bytes wrapped", test::RiffFile("RMID", {{"data", smfOf(300000)}}), smfOf(262144), true},
    };
    const std::vector<Bytes> asTheyAre = {
        test::RiffFile("WAVE", {{"data", smf}}),
        test::RiffFile("RMID", {{"LIST", info}}),
        test::RiffFile("RMID", {{"data", Pattern(40)}}),
        test::RiffFile("RMID", {{"data", Bytes{'M', 'T', 'h', 'd'}, 2}}),
        test::RiffFile("RMID", {}),
    };
    std::vector<Case> all = cases;
    for (const Bytes& file : asTheyAre) all.push_back({"not unwrapped", file, file, false});
    for (const Case& c : all) {
        SCOPED_TRACE(c.name);
        RecordingSink sink;
        const TempFile file(c.file);
        MemoryBlock block;
        std::int32_t size = -1;

        EXPECT_EQ(ReadWholeFile(file.path(), block, size), 1);

        ASSERT_EQ(size, static_cast<std::int32_t>(c.expected.size()));
        EXPECT_TRUE(std::equal(c.expected.begin(), c.expected.end(), block.data()));
        // Nothing of the wrapper is left behind the wrapped file.
        EXPECT_TRUE(std::all_of(block.data() + size, block.data() + block.size(), [](auto b) { return b == 0; }));
        EXPECT_EQ(sink.codes(), c.tooLarge ? std::vector<std::uint32_t>{kGeneralDataTooLarge}
                                           : std::vector<std::uint32_t>{});
    }
}

TEST(VariableLengthQuantity, EncodesTheStandardForms) {
    struct Case {
        std::uint32_t value;
        Bytes bytes;
    };
    const Case cases[] = {
        {0x00, {0x00}},
        {0x7F, {0x7F}},
        {0x80, {0x81, 0x00}},
        {0x3FFF, {0xFF, 0x7F}},
        {0x4000, {0x81, 0x80, 0x00}},
        {0x1FFFFF, {0xFF, 0xFF, 0x7F}},
        {0x200000, {0x81, 0x80, 0x80, 0x00}},
        {0x0FFFFFFF, {0xFF, 0xFF, 0xFF, 0x7F}},
        // No file can carry more: larger values are written as the largest.
        {0x10000000, {0xFF, 0xFF, 0xFF, 0x7F}},
        {0xFFFFFFFF, {0xFF, 0xFF, 0xFF, 0x7F}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.value);
        Bytes out(8, kGuard);
        const int n = EncodeVarLen(c.value, out.data());
        ASSERT_EQ(n, static_cast<int>(c.bytes.size()));
        EXPECT_EQ(Bytes(out.begin(), out.begin() + n), c.bytes);
        EXPECT_TRUE(std::all_of(out.begin() + n, out.end(), [](auto b) { return b == kGuard; }));
    }
}

TEST(VariableLengthQuantity, DecodesBackToTheValueAcrossTheWholeRange) {
    std::mt19937 random(20240611);
    for (int i = 0; i < 2000; ++i) {
        // Short and long values alike.
        const std::uint32_t value = static_cast<std::uint32_t>(random()) >> (random() % 28 + 4);
        std::uint8_t out[4];
        const int n = EncodeVarLen(value, out);
        std::uint32_t decoded = 0;
        for (int k = 0; k < n; ++k) {
            EXPECT_EQ((out[k] & 0x80) != 0, k < n - 1) << "value " << value;
            decoded = (decoded << 7) | (out[k] & 0x7Fu);
        }
        EXPECT_EQ(decoded, value);
    }
}

TEST(MemoryBlocks, AreZeroFilledAtTheirFullSize) {
    const MemoryBlock block(kImageCapacity);
    ASSERT_FALSE(block.empty());
    EXPECT_EQ(block.size(), static_cast<std::size_t>(kImageCapacity));
    EXPECT_TRUE(std::all_of(block.data(), block.data() + kImageCapacity, [](auto b) { return b == 0; }));
    EXPECT_TRUE(MemoryBlock().empty());
    EXPECT_EQ(MemoryBlock().size(), 0u);
}

}  // namespace
}  // namespace solvane
