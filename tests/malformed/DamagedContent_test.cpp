// Hostile files whose damage shows in what is written: every step's reports
// and the bytes and events that come out of the whole path (Load, Save with
// each combination of the boxes, the written file loaded again).

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "song/MidiF0Data.h"
#include "song/MidiF1Data.h"
#include "support/General.h"
#include "tests/malformed/WholePath.h"
#include "track/MusicEvent.h"

namespace solvane {
namespace {

using test::Bytes;
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

const Bytes kTune = Concat({NoteBytes(0, 60, 96), NoteBytes(0, 64, 96)});

Bytes Format1(const std::vector<Bytes>& bodies, int declared) {
    SmfBuilder file;
    file.Header(1, declared, 96);
    for (const Bytes& body : bodies) file.Track(body);
    return file.Bytes();
}

bool Holds(const Bytes& bytes, const Bytes& part) {
    return std::search(bytes.begin(), bytes.end(), part.begin(), part.end()) != bytes.end();
}

// Every written file loads again cleanly and ends with an End of Track.
void ExpectEveryWrittenFileLoadsAgain(const test::WholePath& path) {
    for (const test::SaveRun& run : path.saves) {
        SCOPED_TRACE(test::BoxesName(run));
        ASSERT_NE(run.reloaded->song, nullptr);
        EXPECT_THAT(test::Structural(run.reloadCodes), IsEmpty());
        ASSERT_FALSE(run.reloaded->song->track->events.empty());
        EXPECT_TRUE(run.reloaded->song->track->events.back().IsEndOfTrack());
    }
}

const MusicEvent* FirstOfType(const MidiF0Data& song, std::int32_t type) {
    for (const MusicEvent& e : song.track->events) {
        if (e.type == type) return &e;
    }
    return nullptr;
}

TEST(TrackCounts, UpTo33TracksAreReadAsDeclaredAndMoreLeave16WithTheWarning) {
    struct Case {
        int tracks;
        std::vector<std::uint32_t> load;
        int read;
    };
    const Case cases[] = {{17, {}, 17}, {33, {}, 33}, {34, {kF1TooManyTracks}, 16}, {40, {kF1TooManyTracks}, 16}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.tracks);
        // Track k sounds key 20 + k, so the loaded keys tell which tracks were read.
        std::vector<Bytes> bodies;
        for (int k = 0; k < c.tracks; ++k) bodies.push_back(Concat({NoteBytes(k % 16, 20 + k, 48), kEnd}));
        RecordingSink sink;
        const test::WholePath path = test::RunWholePath(Format1(bodies, c.tracks), sink);

        EXPECT_THAT(path.loadCodes, ElementsAreArray(c.load));
        ASSERT_NE(path.song(), nullptr);
        std::vector<std::int32_t> keys;
        for (const MusicEvent& e : path.song()->track->events) {
            if (e.type == kTypeNote) keys.push_back(e.key);
        }
        std::sort(keys.begin(), keys.end());
        std::vector<std::int32_t> expected;
        for (int k = 0; k < c.read; ++k) expected.push_back(20 + k);
        EXPECT_EQ(keys, expected);
        for (const test::SaveRun& run : path.saves) EXPECT_THAT(run.codes, IsEmpty());
        ExpectEveryWrittenFileLoadsAgain(path);
    }
}

TEST(Prefix, AFileBehindA128BytePrefixIsWrittenExactlyLikeTheBareFile) {
    Bytes prefix(128, 0);
    prefix[1] = 5;
    std::copy_n("a.mid", 5, prefix.begin() + 2);
    const Bytes files[] = {Format0(Concat({{0x00, 0xC1, 0x07}, NoteBytes(1, 50, 48), kTune})),
                           Format1({Concat({{0x00, 0xC1, 0x07}, NoteBytes(1, 50, 48), kEnd}), Concat({kTune, kEnd})},
                                   2)};
    for (const Bytes& bare : files) {
        RecordingSink sink;
        const test::WholePath plain = test::RunWholePath(bare, sink);
        const test::WholePath prefixed = test::RunWholePath(Concat({prefix, bare}), sink);
        EXPECT_THAT(prefixed.loadCodes, IsEmpty());
        ASSERT_NE(prefixed.song(), nullptr);
        EXPECT_EQ(test::Timeline(*prefixed.song()->track), test::Timeline(*plain.song()->track));
        for (std::size_t i = 0; i < 4; ++i) {
            EXPECT_THAT(prefixed.saves[i].codes, IsEmpty());
            EXPECT_EQ(prefixed.saves[i].written, plain.saves[i].written);
        }
        ExpectEveryWrittenFileLoadsAgain(prefixed);
    }
}

TEST(DamagedEvents, AProgramAbove127IsWrittenAs127) {
    RecordingSink sink;
    const test::WholePath path = test::RunWholePath(Format0(Concat({{0x00, 0xC0, 0x85}, kTune})), sink);
    EXPECT_THAT(path.loadCodes, ElementsAre(kTrackInternalError));
    for (const test::SaveRun& run : path.saves) {
        SCOPED_TRACE(test::BoxesName(run));
        EXPECT_THAT(run.codes, IsEmpty());
        EXPECT_TRUE(Holds(run.written, {0xC0, 0x7F}));
        const MusicEvent* program = FirstOfType(*run.reloaded->song, kTypeProgram);
        ASSERT_NE(program, nullptr);
        EXPECT_EQ(program->value, 127);
    }
    ExpectEveryWrittenFileLoadsAgain(path);
}

TEST(DamagedEvents, AZeroTempoIsWrittenAs480Microseconds) {
    RecordingSink sink;
    const test::WholePath path =
        test::RunWholePath(Format0(Concat({{0x00, 0xFF, 0x51, 0x03, 0x00, 0x00, 0x00}, kTune})), sink);
    EXPECT_THAT(path.loadCodes, ElementsAre(kTrackBadTempo));
    for (const test::SaveRun& run : path.saves) {
        EXPECT_THAT(run.codes, IsEmpty());
        EXPECT_TRUE(Holds(run.written, {0xFF, 0x51, 0x03, 0x00, 0x01, 0xE0}));
        EXPECT_THAT(run.reloadCodes, IsEmpty());  // 480 is a tempo, if a very fast one
    }
    ExpectEveryWrittenFileLoadsAgain(path);
}

TEST(DamagedEvents, AnExclusiveThatLostItsEndIsWrittenWithAFreshSizeAndF7) {
    // Cut at the chunk's end, with a size that runs past it, or with one that
    // counts just the bytes there are (the F7 is missing either way).
    const Bytes cut[] = {{0x00, 0xF0, 0x05, 0x7E, 0x7F, 0x09, 0x01}, {0x00, 0xF0, 0x04, 0x7E, 0x7F, 0x09, 0x01}};
    for (const Bytes& exclusive : cut) {
        SCOPED_TRACE(static_cast<int>(exclusive[2]));
        RecordingSink sink;
        const test::WholePath path = test::RunWholePath(Format1({Concat({kTune, kEnd}), exclusive}, 2), sink);
        EXPECT_THAT(path.loadCodes, ElementsAre(kTrackInternalError));
        for (const test::SaveRun& run : path.saves) {
            SCOPED_TRACE(test::BoxesName(run));
            EXPECT_THAT(run.codes, IsEmpty());
            EXPECT_TRUE(Holds(run.written, {0xF0, 0x05, 0x7E, 0x7F, 0x09, 0x01, 0xF7}));
            ASSERT_NE(run.reloaded->song, nullptr);
            const MusicEvent* sysex = FirstOfType(*run.reloaded->song, kTypeSysEx);
            ASSERT_NE(sysex, nullptr);
            EXPECT_THAT(sysex->data, ElementsAre(0xF0, 0x05, 0x7E, 0x7F, 0x09, 0x01, 0xF7));
        }
        ExpectEveryWrittenFileLoadsAgain(path);
    }
}

// The payloads of all escapes, one after the other: what they send.
Bytes EscapedBytes(const MidiF0Data& song) {
    Bytes sent;
    for (const MusicEvent& e : song.track->events) {
        if (e.type == kTypeEscape) sent.insert(sent.end(), e.data.begin() + 2, e.data.end());
    }
    return sent;
}

TEST(DamagedEvents, AnEscapeCutAtTheChunkEndKeepsWhatItHeld) {
    // Escapes carry a one-byte size here and a variable-length one elsewhere:
    // one of more than 127 bytes goes out in pieces that send the same bytes.
    for (const std::size_t held : {2u, 127u, 128u, 200u}) {
        SCOPED_TRACE(held);
        Bytes payload(held);
        for (std::size_t i = 0; i < held; ++i) payload[i] = static_cast<std::uint8_t>(i % 0x70);
        RecordingSink sink;
        const test::WholePath path = test::RunWholePath(
            Format1({Concat({kTune, kEnd}), Concat({{0x00, 0xF7, 0xFF}, payload})}, 2), sink);
        EXPECT_THAT(path.loadCodes, ElementsAre(kTrackInternalError));
        for (const test::SaveRun& run : path.saves) {
            SCOPED_TRACE(test::BoxesName(run));
            EXPECT_THAT(run.codes, IsEmpty());
            ASSERT_NE(run.reloaded->song, nullptr);
            EXPECT_THAT(test::Structural(run.reloadCodes), IsEmpty());
            EXPECT_EQ(EscapedBytes(*run.reloaded->song), payload);
            for (const MusicEvent& e : run.reloaded->song->track->events) {
                if (e.type == kTypeEscape) {
                    EXPECT_LE(e.data[1], 0x7F) << "a size other readers take differently";
                }
            }
        }
        ExpectEveryWrittenFileLoadsAgain(path);
    }
}

struct Note {
    std::int32_t key;
    std::int64_t start;
    std::int64_t duration;
    bool operator==(const Note&) const = default;
};

void PrintTo(const Note& n, std::ostream* out) {
    *out << "{key " << n.key << " at " << n.start << " for " << n.duration << "}";
}

// The notes of a song in note form, by start time.
std::vector<Note> Notes(const MidiF0Data& song) {
    std::vector<Note> notes;
    std::int64_t time = 0;
    for (const MusicEvent& e : song.track->events) {
        time += e.delta;
        if (e.type == kTypeNote) notes.push_back({e.key, time, e.duration});
    }
    return notes;
}

std::vector<std::int64_t> NoteStarts(const MidiF0Data& song) {
    std::vector<std::int64_t> starts;
    std::int64_t time = 0;
    for (const MusicEvent& e : song.track->events) {
        time += e.delta;
        if (e.type == kTypeNote) starts.push_back(time);
    }
    return starts;
}

TEST(DamagedEvents, AFiveByteDeltaKeepsItsLow32BitsWithinWhatATrackCanLast) {
    struct Case {
        const char* name;
        Bytes delta;
        std::vector<std::int64_t> loaded;   // note starts when loaded
        std::vector<std::int64_t> written;  // and when the written file is loaded
        std::vector<std::uint32_t> load;
        std::vector<std::uint32_t> save;
    };
    const Case cases[] = {
        // 2^28 is one tick more than a file can carry: each save says so and
        // writes the largest delta there is.
        {"2^28", {0x81, 0x80, 0x80, 0x80, 0x00}, {0, 10 + 0x10000000}, {0, 10 + 0x0FFFFFFF}, {}, {kTrackInternalError}},
        // All ones: 2^32 - 1, more than a track can last. The second note is
        // held at the longest time there is, where it has no length left.
        {"all ones", {0x8F, 0xFF, 0xFF, 0xFF, 0x7F}, {0}, {0}, {kTrackInternalError}, {kTrackInternalError}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RecordingSink sink;
        const test::WholePath path = test::RunWholePath(
            Format0(Concat({NoteBytes(0, 60, 10), c.delta, {0x90, 62, 100, 0x10, 0x80, 62, 0}})), sink);
        EXPECT_THAT(path.loadCodes, ElementsAreArray(c.load));
        ASSERT_NE(path.song(), nullptr);
        EXPECT_THAT(NoteStarts(*path.song()), ElementsAreArray(c.loaded));
        for (const test::SaveRun& run : path.saves) {
            if (run.horizontal) continue;  // the mirror moves the notes
            SCOPED_TRACE(test::BoxesName(run));
            EXPECT_THAT(run.codes, ElementsAreArray(c.save));
            ASSERT_NE(run.reloaded->song, nullptr);
            EXPECT_THAT(NoteStarts(*run.reloaded->song), ElementsAreArray(c.written));
        }
        ExpectEveryWrittenFileLoadsAgain(path);
    }
}

TEST(DamagedEvents, WithoutAnEndOfTrackTheMirrorRefusesAndNothingIsSaved) {
    RecordingSink sink;
    const test::WholePath path = test::RunWholePath(SmfBuilder().Header(0, 1, 96).Track(kTune).Bytes(), sink);
    EXPECT_THAT(path.loadCodes, IsEmpty());
    ASSERT_NE(path.song(), nullptr);

    const test::Bytes written = test::SaveAsBytes(*path.song(), true, false);
    const std::vector<test::Report> reports = sink.reports();
    ASSERT_EQ(reports.size(), 2u);
    EXPECT_EQ(reports[0].module, "MidiF0Data");
    EXPECT_EQ(reports[0].code, kSongFallback);
    EXPECT_EQ(reports[0].text, "MidiF0Dataでエラーが発生しました。");
    EXPECT_EQ(reports[1].module, "MidiTrackData");
    EXPECT_EQ(reports[1].code, kTrackNoChunk);
    EXPECT_THAT(written, IsEmpty());
}

TEST(OversizedEvents, A300ByteTextAndExclusiveAreKeptWholeAndEveryCopyOfThemIsReported) {
    Bytes text(300, 'x');
    Bytes sysex(299, 0x11);
    sysex.push_back(0xF7);
    const Bytes body = Concat({{0x00, 0xFF, 0x01}, VarLen(300), text, {0x00, 0xF0}, VarLen(300), sysex, kTune});
    RecordingSink sink;
    const test::WholePath path = test::RunWholePath(Format0(body), sink);

    // The size warning once for the track, then one report for each of the
    // two records in each of the three copies that loading makes and drops:
    // the format-0 song, the split by channel and the merge.
    const std::vector<std::uint32_t> loading = {kTrackOversizedEvent, kEventDataTooLarge, kEventDataTooLarge,
                                                kEventDataTooLarge,   kEventDataTooLarge, kEventDataTooLarge,
                                                kEventDataTooLarge};
    EXPECT_THAT(path.loadCodes, ElementsAreArray(loading));
    for (const test::SaveRun& run : path.saves) {
        SCOPED_TRACE(test::BoxesName(run));
        // The saved copy goes; the writer's own size warning was already shown for this track.
        EXPECT_THAT(run.codes, ElementsAre(kEventDataTooLarge, kEventDataTooLarge));
        EXPECT_TRUE(Holds(run.written, Concat({{0xFF, 0x01, 0x82, 0x2C}, text})));
        EXPECT_TRUE(Holds(run.written, Concat({{0xF0, 0x82, 0x2C}, sysex})));
        EXPECT_THAT(run.reloadCodes, ElementsAreArray(loading));
    }
    ExpectEveryWrittenFileLoadsAgain(path);
}

// Each delta fits a file (at most 2^28 - 1), but nine of them together pass
// 2^31 ticks: no time or duration may wrap, and the track says once that it
// was held at what a delta can hold.
TEST(LongDeltas, TimesPast2Pow31AreHeldAtTheLongestDeltaWithOneReport) {
    constexpr std::int64_t kRest = 0x0FFFFFFF;
    constexpr std::int64_t kLongest = 0x7FFFFFFF;
    Bytes rests;
    for (int i = 0; i < 9; ++i) rests = Concat({rests, VarLen(kRest), {0xB0, 7, 100}});
    struct Case {
        const char* name;
        Bytes body;
        std::vector<Note> notes;
    };
    const Case cases[] = {
        // Channel 1 sounds at the start and again after 9 * kRest ticks of
        // rests on channel 0: the track would last longer than a delta can
        // hold, so the second note is held at the longest time, where it has
        // no length left.
        {"a note after 2^31 ticks",
         Concat({NoteBytes(1, 50, 10), rests, NoteBytes(1, 52, 10)}),
         {{50, 0, 10}}},
        // One note held through all the rests.
        {"a note held for 2^31 ticks",
         Concat({{0x00, 0x91, 50, 100}, rests, {0x00, 0x81, 50, 0}}),
         {{50, 0, kLongest}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RecordingSink sink;
        const test::WholePath path = test::RunWholePath(Format0(c.body), sink);

        EXPECT_THAT(path.loadCodes, ElementsAre(kTrackInternalError));
        ASSERT_NE(path.song(), nullptr);
        EXPECT_THAT(Notes(*path.song()), ElementsAreArray(c.notes));
        for (const test::SaveRun& run : path.saves) {
            SCOPED_TRACE(test::BoxesName(run));
            if (!run.horizontal && !run.vertical && run.reloaded->song != nullptr) {
                EXPECT_THAT(Notes(*run.reloaded->song), ElementsAreArray(c.notes));
            }
        }
        ExpectEveryWrittenFileLoadsAgain(path);
    }
}

}  // namespace
}  // namespace solvane
