// Files at the program's limits, through the whole path: the 262,144 bytes
// an image holds, and the densest files those bytes allow.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "song/MidiF0Data.h"
#include "support/General.h"
#include "tests/malformed/WholePath.h"
#include "track/MidiTrackData.h"
#include "track/MusicEvent.h"

namespace solvane {
namespace {

using test::Bytes;
using test::Concat;
using test::RecordingSink;
using test::SmfBuilder;
using test::VarLen;
using test::kEnd;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::IsEmpty;

const Bytes kTune = {0x00, 0xC0, 0x05, 0x00, 0x90, 60, 100, 0x60, 0x80, 60, 0, 0x00, 0x90, 64, 100, 0x60, 0x80, 64, 0};

// A text event whose whole encoding (delta, FF 01, size, text) takes exactly total bytes.
Bytes TextOf(std::size_t total) {
    const std::size_t length = total - 3 - VarLen(static_cast<std::uint32_t>(total)).size();
    return Concat({{0x00, 0xFF, 0x01}, VarLen(static_cast<std::uint32_t>(length)), Bytes(length, 't')});
}

// A format-0 file of exactly size bytes: the tune and a text that fills the rest.
Bytes Format0Of(std::size_t size) {
    const std::size_t fixed = 14 + 8 + kTune.size() + kEnd.size();
    return SmfBuilder().Header(0, 1, 96).Track(Concat({kTune, TextOf(size - fixed), kEnd})).Bytes();
}

std::int32_t CountOfType(const MidiF0Data& song, std::int32_t type) {
    std::int32_t n = 0;
    for (const MusicEvent& e : song.track->events) n += e.type == type ? 1 : 0;
    return n;
}

TEST(FileSize, AFileJustBelowTheImageLoadsWholeWithoutAWord) {
    const Bytes file = Format0Of(262143);
    ASSERT_EQ(file.size(), 262143u);
    RecordingSink sink;
    const test::WholePath path = test::RunWholePath(file, sink);

    // The long text: the size warning, and a report for each copy loading drops.
    EXPECT_THAT(path.loadCodes, ElementsAre(kTrackOversizedEvent, kEventDataTooLarge, kEventDataTooLarge,
                                            kEventDataTooLarge));
    ASSERT_NE(path.song(), nullptr);
    EXPECT_EQ(CountOfType(*path.song(), kTypeNote), 2);
    for (const test::SaveRun& run : path.saves) {
        SCOPED_TRACE(test::BoxesName(run));
        EXPECT_THAT(run.codes, ElementsAre(kEventDataTooLarge));
        EXPECT_EQ(run.written.size(), file.size());
        EXPECT_THAT(run.reloadCodes, ElementsAreArray(path.loadCodes));
    }
}

TEST(FileSize, AFileThatFillsTheImageIsReportedTwiceLoadsWholeAndIsWrittenShort) {
    const Bytes file = Format0Of(262144);
    ASSERT_EQ(file.size(), 262144u);
    RecordingSink sink;
    const test::WholePath path = test::RunWholePath(file, sink);

    // Once as the loader reads the file, once as the song takes the full image.
    EXPECT_THAT(path.loadCodes, ElementsAre(kGeneralDataTooLarge, kGeneralDataTooLarge, kTrackOversizedEvent,
                                            kEventDataTooLarge, kEventDataTooLarge, kEventDataTooLarge));
    ASSERT_NE(path.song(), nullptr);
    EXPECT_EQ(CountOfType(*path.song(), kTypeNote), 2);
    for (const test::SaveRun& run : path.saves) {
        SCOPED_TRACE(test::BoxesName(run));
        // A written file stays a byte short of the image, so that it reads
        // back whole: the last note-off does not fit, and its note goes.
        EXPECT_THAT(run.codes, ElementsAre(kGeneralDataTooLarge, kEventDataTooLarge));
        EXPECT_LT(run.written.size(), 262144u);
        EXPECT_THAT(run.reloadCodes, ElementsAre(kTrackOversizedEvent, kEventDataTooLarge, kEventDataTooLarge,
                                                 kEventDataTooLarge));
        ASSERT_NE(run.reloaded->song, nullptr);
        EXPECT_EQ(CountOfType(*run.reloaded->song, kTypeNote), 1);
        EXPECT_TRUE(run.reloaded->song->track->events.back().IsEndOfTrack());
    }
}

TEST(FileSize, AFormat0FileBeyondTheImageLosesItsOnlyChunk) {
    const Bytes file = Format0Of(300000);
    RecordingSink sink;
    const test::WholePath path = test::RunWholePath(file, sink);

    // The chunk runs past the 262,144 bytes read: refused, then not converted.
    EXPECT_THAT(path.loadCodes, ElementsAre(kGeneralDataTooLarge, kGeneralDataTooLarge, kTrackInternalError,
                                            kTrackInternalError));
    ASSERT_NE(path.song(), nullptr);
    EXPECT_THAT(path.song()->track->events, IsEmpty());
    for (const test::SaveRun& run : path.saves) {
        EXPECT_THAT(run.written, IsEmpty());  // nothing to save: the writer says so once
        EXPECT_EQ(run.codes.back(), kTrackNoChunk);
    }
}

TEST(FileSize, AFormat1FileBeyondTheImageKeepsTheTracksBeforeTheCut) {
    const Bytes tune = SmfBuilder().Track(Concat({kTune, kEnd})).Bytes();
    const Bytes file = SmfBuilder().Header(1, 2, 96).Raw(tune).Track(Concat({TextOf(300000), kEnd})).Bytes();
    RecordingSink sink;
    const test::WholePath path = test::RunWholePath(file, sink);

    EXPECT_THAT(path.loadCodes, ElementsAre(kGeneralDataTooLarge, kGeneralDataTooLarge, kTrackInternalError));
    ASSERT_NE(path.song(), nullptr);
    EXPECT_EQ(CountOfType(*path.song(), kTypeNote), 2);
    for (const test::SaveRun& run : path.saves) {
        SCOPED_TRACE(test::BoxesName(run));
        EXPECT_THAT(run.codes, IsEmpty());
        ASSERT_NE(run.reloaded->song, nullptr);
        EXPECT_THAT(run.reloadCodes, IsEmpty());
    }
}

// Every event takes at least two bytes (a delta and a data byte under
// running status), so 262,144 bytes hold at most 131,061 events: the track
// capacity of 131,072 cannot be reached from a file, by reading or by
// merging. The densest file loads whole; written without running status
// it no longer fits and is cut, with "data too large".
TEST(Density, TheDensestFileLoadsWholeAndIsCutWhenWritten) {
    constexpr int kTracks = 16;
    constexpr int kPerTrack = 8184;
    SmfBuilder builder;
    builder.Header(1, kTracks, 96);
    for (int k = 0; k < kTracks; ++k) {
        Bytes body = {0x00, static_cast<std::uint8_t>(0xC0 | k), 0x05};
        for (int i = 0; i < kPerTrack; ++i) body.insert(body.end(), {0x00, static_cast<std::uint8_t>(i % 128)});
        builder.Track(Concat({body, kEnd}));
    }
    const Bytes& file = builder.Bytes();
    ASSERT_LT(file.size(), 262144u);
    RecordingSink sink;
    const test::WholePath path = test::RunWholePath(file, sink);

    EXPECT_THAT(path.loadCodes, IsEmpty());
    ASSERT_NE(path.song(), nullptr);
    EXPECT_EQ(path.song()->track->count(), kTracks * (kPerTrack + 1) + 1);
    for (const test::SaveRun& run : path.saves) {
        SCOPED_TRACE(test::BoxesName(run));
        EXPECT_THAT(run.codes, ElementsAre(kGeneralDataTooLarge));
        EXPECT_LT(run.written.size(), 262144u);
        EXPECT_GT(run.written.size(), 262144u - 8);  // cut at the last whole event that fits
        ASSERT_NE(run.reloaded->song, nullptr);
        EXPECT_THAT(test::Structural(run.reloadCodes), IsEmpty());
        EXPECT_TRUE(run.reloaded->song->track->events.back().IsEndOfTrack());
    }
}

// What a merge past the capacity would do, for lists built in code.
TEST(Density, MergingPastTheCapacityRefusesEachEventItCannotHoldWithAReport) {
    MidiTrackData into(kStateNoteForm);
    for (std::int32_t i = 0; i < kTrackCapacity - 2; ++i) {
        MusicEvent program(1);
        program.type = kTypeProgram;
        program.channel = 0;
        into.Append(program);
    }
    into.AppendEndOfTrack(1);
    MidiTrackData other(kStateNoteForm);
    for (int i = 0; i < 4; ++i) {
        MusicEvent program(0);
        program.type = kTypeProgram;
        program.channel = 1;
        other.Append(program);
    }
    other.AppendEndOfTrack(kTrackCapacity + 10);
    RecordingSink sink;

    into.MergeTrack(other);

    EXPECT_EQ(into.count(), kTrackCapacity);
    EXPECT_THAT(sink.codes(), ElementsAre(kTrackTooMuchData, kTrackTooMuchData, kTrackTooMuchData,
                                          kTrackTooMuchData));
    // The latest End of Track was among the refused: the merged list has none.
    EXPECT_FALSE(into.events.back().IsEndOfTrack());
}

}  // namespace
}  // namespace solvane
