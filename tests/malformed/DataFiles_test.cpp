// The small files of tests/data, built here byte by byte, through the whole
// path the dialog takes: Load, Save with each combination of the boxes, and
// the written file loaded again. A valid file comes through without a word
// and keeps its notes; an invalid one gives its reports and either no song
// or nothing to save. After a change to the table, write the files afresh:
//   SOLVANE_WRITE_TEST_DATA=1 build/tests/malformed_tests --gtest_filter='DataFiles.*'

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "song/MidiF0Data.h"
#include "song/MidiFileLoader.h"
#include "tests/malformed/WholePath.h"

namespace solvane {
namespace {

using test::Bytes;
using test::Concat;
using test::Format0;
using test::kEnd;
using test::NoteBytes;
using test::SmfBuilder;
using test::VarLen;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::IsEmpty;

struct DataFile {
    const char* name;  // under tests/data
    Bytes bytes;
    std::vector<std::uint32_t> load;       // in order, while loading and building the song
    bool loads = true;                     // a song is built
    bool saves = true;                     // and each Save writes a whole file
    std::vector<std::uint32_t> save = {};  // while saving a file that is saved
};

// A meta event (a text when type is 1 to 7) of length letters.
Bytes Text(std::uint8_t type, std::size_t length) {
    Bytes letters(length);
    for (std::size_t i = 0; i < length; ++i) letters[i] = static_cast<std::uint8_t>('a' + i % 26);
    return Concat({{0x00, 0xFF, type}, VarLen(static_cast<std::uint32_t>(length)), letters});
}

std::vector<DataFile> DataFiles() {
    // Tempo 120 a minute, 4/4, a voice on channel 0 and chords on channel 1.
    const Bytes piece = Concat({{0x00, 0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20, 0x00, 0xFF, 0x58, 0x04, 4, 2, 24, 8,
                                 0x00, 0xC0, 73, 0x00, 0xC1, 0, 0x00, 0x91, 48, 80, 0x00, 0x91, 55, 80},
                                NoteBytes(0, 72, 48), NoteBytes(0, 74, 48), NoteBytes(0, 76, 96),
                                {0x00, 0x81, 48, 64, 0x00, 0x81, 55, 64}, NoteBytes(9, 36, 24)});
    Bytes prefix(128, 0);  // a MacBinary header, as old Macintosh transfers left them
    prefix[1] = 12;
    std::copy_n("prefixed.mid", 12, prefix.begin() + 2);
    Bytes exclusive = {0x7D};  // non-commercial: 150 bytes, so its size takes two bytes
    exclusive.resize(149, 0x2A);
    exclusive.push_back(0xF7);
    Bytes truncated = Format0(piece);
    truncated.resize(truncated.size() - 10);
    return {
        {"valid/format0.mid", Format0(piece), {}},
        {"valid/format1.mid",
         SmfBuilder().Header(1, 4, 480)
             .Track(Concat({{0x00, 0xFF, 0x51, 0x03, 0x09, 0x27, 0xC0}, Text(0x03, 5), kEnd}))
             .Track(Concat({{0x00, 0xC0, 0}, NoteBytes(0, 60, 480), NoteBytes(0, 67, 960), kEnd}))
             .Track(Concat({{0x00, 0xC1, 32, 0x00, 0xB1, 7, 90}, NoteBytes(1, 36, 1440), kEnd}))
             .Track(Concat({NoteBytes(9, 42, 240), NoteBytes(9, 38, 240), NoteBytes(9, 42, 240), kEnd}))
             .Bytes(),
         {}},
        {"valid/prefixed.mid", Concat({prefix, Format0(piece)}), {}},
        // The second track starts with data bytes: they take up the first track's last status.
        {"valid/running-status-across-tracks.mid",
         SmfBuilder().Header(1, 2, 96)
             .Track({0x00, 0x91, 62, 80, 0x30, 62, 0, 0x00, 0xFF, 0x2F, 0x00})
             .Track({0x10, 64, 70, 0x30, 64, 0, 0x00, 0xFF, 0x2F, 0x00})
             .Bytes(),
         {}},
        // Texts of more than 128 bytes are written with the size warning.
        {"valid/exclusive-and-long-texts.mid",
         Format0(Concat({{0x00, 0xF0, 0x05, 0x7E, 0x7F, 0x09, 0x01, 0xF7}, {0x00, 0xF0}, VarLen(150), exclusive,
                         Text(0x02, 128), Text(0x03, 200), Text(0x01, 240), NoteBytes(0, 60, 96)})),
         {}, true, true, {kTrackOversizedEvent}},
        {"invalid/not-midi.mid", Bytes{'J', 'u', 's', 't', ' ', 's', 'o', 'm', 'e', ' ', 't', 'e', 'x', 't', '.', '\n'},
         {kLoaderNotMidi}, false, false},
        {"invalid/format2.mid",
         SmfBuilder().Header(2, 2, 96).Track(Concat({NoteBytes(0, 60, 96), kEnd})).Track(kEnd).Bytes(),
         {kLoaderNotMidi}, false, false},
        // The chunk is refused, then the conversion of its empty track.
        {"invalid/truncated-chunk.mid", truncated, {kTrackInternalError, kTrackInternalError}, true, false},
        {"invalid/chunk-length-past-end.mid",
         SmfBuilder().Header(0, 1, 96).Chunk("MTrk", 100, Concat({NoteBytes(0, 60, 96), kEnd})).Bytes(),
         {kTrackInternalError, kTrackInternalError}, true, false},
        {"invalid/no-end-of-track.mid", SmfBuilder().Header(0, 1, 96).Track(piece).Bytes(), {}, true, false},
        // Zero bytes read as format 0; the song finds no track chunk in them.
        {"invalid/empty.mid", {}, {kTrackNoChunk, kTrackInternalError}, false, false},
    };
}

std::string PathOf(const DataFile& file) { return std::string(SOLVANE_TEST_DATA_DIR "/") + file.name; }

TEST(DataFiles, EachFileHoldsTheBytesItsEntryBuilds) {
    const bool write = std::getenv("SOLVANE_WRITE_TEST_DATA") != nullptr;
    for (const DataFile& file : DataFiles()) {
        SCOPED_TRACE(file.name);
        if (write) test::WriteFileBytes(PathOf(file), file.bytes);
        EXPECT_EQ(test::ReadFileBytes(PathOf(file)), file.bytes);
    }
}

TEST(DataFiles, ValidFilesComeThroughWholeAndInvalidOnesGiveTheirReports) {
    test::RecordingSink sink;
    for (const DataFile& file : DataFiles()) {
        SCOPED_TRACE(file.name);
        const test::WholePath path = test::RunWholePathOnFile(PathOf(file), sink);
        EXPECT_THAT(path.loadCodes, ElementsAreArray(file.load));
        ASSERT_EQ(path.song() != nullptr, file.loads);
        if (!file.loads) continue;
        for (const test::SaveRun& run : path.saves) {
            SCOPED_TRACE(test::BoxesName(run));
            if (!file.saves) {
                // No complete track: said once by the writer, and nothing is saved.
                if (run.horizontal) {
                    EXPECT_THAT(run.codes, ElementsAre(kSongFallback, kTrackNoChunk));
                } else {
                    EXPECT_THAT(run.codes, ElementsAre(kTrackNoChunk));
                }
                EXPECT_THAT(run.written, IsEmpty());
                continue;
            }
            EXPECT_THAT(run.codes, ElementsAreArray(file.save));
            ASSERT_NE(run.reloaded, nullptr);
            ASSERT_NE(run.reloaded->song, nullptr);
            EXPECT_THAT(run.reloadCodes, IsEmpty());
            if (!run.horizontal && !run.vertical) {
                EXPECT_EQ(test::Notes(*run.reloaded->song->track), test::Notes(*path.song()->track));
            }
        }
    }
}

}  // namespace
}  // namespace solvane
