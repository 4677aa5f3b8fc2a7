// Hostile files, built as bytes, through the whole path the dialog takes:
// Load, Save with each combination of the boxes, and the written file loaded
// again. Each file yields exactly the reports listed for its steps, never
// crashes or reads out of bounds (the suite runs under the sanitizers in CI),
// and whatever song it yields is written as a file that loads again without
// a structural report; a song without an End of Track is written as the
// header alone.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "song/MidiF0Data.h"
#include "song/MidiFileLoader.h"
#include "support/General.h"
#include "tests/malformed/WholePath.h"
#include "track/MusicEvent.h"

namespace solvane {
namespace {

using test::Bytes;
using test::ChunkOf;
using test::Concat;
using test::RecordingSink;
using test::SmfBuilder;
using test::VarLen;
using test::kEnd;
using test::Format0;
using test::NoteBytes;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::IsEmpty;

const Bytes kTune = Concat({{0x00, 0xC0, 0x05}, NoteBytes(0, 60, 96), NoteBytes(0, 64, 96), NoteBytes(0, 67, 192)});

Bytes Format1(const std::vector<Bytes>& chunks, int declared) {
    SmfBuilder file;
    file.Header(1, declared, 96);
    for (const Bytes& chunk : chunks) file.Raw(chunk);
    return file.Bytes();
}

// A chunk whose length field claims extra bytes more than it holds.
Bytes ChunkClaiming(const Bytes& body, std::uint32_t extra) {
    return SmfBuilder().Chunk("MTrk", static_cast<std::uint32_t>(body.size()) + extra, body).Bytes();
}

struct Case {
    std::string name;
    Bytes file;
    std::vector<std::uint32_t> load;  // in order, while loading and building the song
    bool loads = true;                // a song is built
    bool wholeFile = true;            // written as a whole file; else as the header alone
};

void PrintTo(const Case& c, std::ostream* out) { *out << c.name; }

// A song that ends with an End of Track: saved and loaded again without a word.
Case Whole(std::string name, Bytes file, std::vector<std::uint32_t> load = {}) {
    return {std::move(name), std::move(file), std::move(load), true, true};
}

// A song without an End of Track: each save writes the header alone (the
// writer says so), and the mirror refuses first with the song's fallback message.
Case HeaderAlone(std::string name, Bytes file, std::vector<std::uint32_t> load = {}) {
    return {std::move(name), std::move(file), std::move(load), true, false};
}

// Nothing is loaded.
Case Refused(std::string name, Bytes file, std::vector<std::uint32_t> load) {
    return {std::move(name), std::move(file), std::move(load), false, false};
}

// A chunk refused by the reader (no "MTrk" or past the image), then the
// conversion of its empty track in a format-0 song.
const std::vector<std::uint32_t> kLostChunk = {kTrackInternalError, kTrackInternalError};

std::vector<Case> Cases() {
    const Bytes header0 = SmfBuilder().Header(0, 1, 96).Bytes();
    const Bytes tune = Concat({kTune, kEnd});
    const Bytes tuneChunk = ChunkOf(tune);
    const Bytes macBinary = [] {
        Bytes prefix(128, 0);
        const std::string name = "piece.mid";
        prefix[1] = static_cast<std::uint8_t>(name.size());
        std::copy(name.begin(), name.end(), prefix.begin() + 2);
        return prefix;
    }();
    Bytes cutInsideAnEvent = Format0(kTune);
    cutInsideAnEvent.resize(cutInsideAnEvent.size() - 6);
    return {
        // The header and the chunks.
        HeaderAlone("HeaderCutInsideTheFormatField", {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0},
                    {kSongBadTrackCount, kTrackNoChunk, kTrackInternalError}),
        HeaderAlone("HeaderWithoutAnyTrack", header0, {kTrackNoChunk, kTrackInternalError}),
        HeaderAlone("TrackCutInsideItsChunkHeader", Concat({header0, {'M', 'T', 'r', 'k', 0, 0}}), kLostChunk),
        HeaderAlone("TrackCutInsideAnEvent", cutInsideAnEvent, kLostChunk),
        HeaderAlone("Format0ChunkLengthOneBytePastTheEnd", Concat({header0, ChunkClaiming(tune, 1)}), kLostChunk),
        HeaderAlone("Format0ChunkLength2Pow31PastTheEnd", Concat({header0, ChunkClaiming(tune, 0x80000000u)}),
                    kLostChunk),
        // In a format-1 file only the damaged chunk is lost.
        Whole("Format1ChunkLengthOneBytePastTheEnd", Format1({tuneChunk, ChunkClaiming(tune, 1)}, 2),
              {kTrackInternalError}),
        Whole("Format1ChunkLength2Pow31PastTheEnd", Format1({tuneChunk, ChunkClaiming(tune, 0x80000000u)}, 2),
              {kTrackInternalError}),
        Whole("Format1ChunkLengthAllOnes", Format1({tuneChunk, ChunkClaiming({}, 0xFFFFFFFFu)}, 2),
              {kTrackInternalError}),
        HeaderAlone("Format0ZeroLengthChunk", Concat({header0, ChunkOf({})})),
        Whole("Format1ZeroLengthChunksAroundATune", Format1({ChunkOf({}), tuneChunk, ChunkOf({})}, 3)),
        Refused("Format2", SmfBuilder().Header(2, 1, 96).Track(tune).Bytes(), {kLoaderNotMidi}),
        Refused("PrefixWithoutHeaderAfterIt", Concat({macBinary, tuneChunk}), {kLoaderNotMidi}),
        // Read as format 0 (bytes 8 and 9 are zero), with no header to be found.
        HeaderAlone("ZeroPrefixWithoutHeaderAfterIt", Concat({Bytes(128, 0), tuneChunk}),
                    {kSongNoHeader, kSongBadTrackCount, kTrackNoChunk, kTrackInternalError}),
        Refused("Format1DeclaringNoTracks", Format1({tuneChunk}, 0), {}),

        // The End of Track.
        HeaderAlone("Format0WithoutEndOfTrack", SmfBuilder().Header(0, 1, 96).Track(kTune).Bytes()),
        // The track without one outlasts the other's End of Track, which is then
        // not last and goes in the merge: nothing ends the merged song.
        HeaderAlone("Format1OneTrackWithoutEndOfTrackOutlastingTheOther",
                    Format1({ChunkOf(Concat({NoteBytes(1, 50, 10), kEnd})), ChunkOf(kTune)}, 2)),
        Whole("Format1OneTrackWithoutEndOfTrackEndingFirst",
              Format1({ChunkOf(NoteBytes(1, 50, 10)), tuneChunk}, 2)),

        // Events.
        // With no status read yet, the leading data bytes are undefined and each is skipped.
        Whole("RunningStatusAtTheStartOfTheFirstTrack", Format0({0x00, 0x3C, 0x64, 0x60, 0x3C, 0x00}),
              {kTrackUndefinedEvent, kTrackUndefinedEvent, kTrackUndefinedEvent}),
        Whole("ProgramChangeWithADataByteAbove127", Format0(Concat({{0x00, 0xC0, 0x85}, NoteBytes(0, 60, 96)})),
              {kTrackInternalError}),
        // The exclusive swallows the End of Track.
        HeaderAlone("Format0SysExWithoutF7", Format0({0x00, 0xF0, 0x05, 0x7E, 0x7F, 0x09, 0x01}),
                    {kTrackInternalError}),
        Whole("Format1SysExWithoutF7BesideATune",
              Format1({tuneChunk, ChunkOf({0x00, 0xF0, 0x05, 0x7E, 0x7F, 0x09, 0x01})}, 2), {kTrackInternalError}),
        Whole("Format1EscapeRunningPastTheEnd", Format1({tuneChunk, ChunkOf({0x00, 0xF7, 0x40, 0x01, 0x02})}, 2),
              {kTrackInternalError}),
        Whole("ZeroTempo", Format0(Concat({{0x00, 0xFF, 0x51, 0x03, 0x00, 0x00, 0x00}, kTune})), {kTrackBadTempo}),
        // Each undefined byte is a report of its own, not a once-per-track warning.
        Whole("UndefinedStatusBytes", Format0(Concat({{0x00, 0xF4, 0x00, 0xF5, 0x00, 0xFD}, kTune})),
              {kTrackUndefinedEvent, kTrackUndefinedEvent, kTrackUndefinedEvent}),
    };
}

class MalformedFile : public ::testing::TestWithParam<Case> {};

TEST_P(MalformedFile, YieldsItsReportsAndASongThatIsWrittenAndLoadsAgain) {
    const Case& c = GetParam();
    RecordingSink sink;
    const test::WholePath path = test::RunWholePath(c.file, sink);

    EXPECT_THAT(path.loadCodes, ElementsAreArray(c.load));
    ASSERT_EQ(path.song() != nullptr, c.loads);
    if (!c.loads) return;
    EXPECT_EQ(path.song()->state, kStateNoteForm);
    EXPECT_EQ(path.EndsWithEndOfTrack(), c.wholeFile);
    for (const test::SaveRun& run : path.saves) {
        SCOPED_TRACE(test::BoxesName(run));
        if (!c.wholeFile) {
            // No complete track: said once by the writer, and nothing is saved.
            if (run.horizontal) {
                EXPECT_THAT(run.codes, ElementsAre(kSongFallback, kTrackNoChunk));
            } else {
                EXPECT_THAT(run.codes, ElementsAre(kTrackNoChunk));
            }
            EXPECT_THAT(run.written, IsEmpty());
            continue;
        }
        EXPECT_THAT(run.codes, IsEmpty());
        ASSERT_GT(run.written.size(), 14u);
        ASSERT_NE(run.reloaded->song, nullptr);
        EXPECT_THAT(test::Structural(run.reloadCodes), IsEmpty());
        const std::vector<MusicEvent>& again = run.reloaded->song->track->events;
        ASSERT_FALSE(again.empty());
        EXPECT_TRUE(again.back().IsEndOfTrack());
    }
}

INSTANTIATE_TEST_SUITE_P(WholePath, MalformedFile, ::testing::ValuesIn(Cases()),
                         [](const ::testing::TestParamInfo<Case>& info) { return info.param.name; });

}  // namespace
}  // namespace solvane
