#include "song/MidiF0Data.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "tests/support/RecordingSink.h"
#include "tests/support/SmfBuilder.h"
#include "tests/support/SongProbe.h"

namespace solvane {
namespace {

using test::Bytes;
using test::RecordingSink;
using test::SmfBuilder;
using test::TempFile;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

// Program 5, a note of key 60 lasting 96 ticks, End of Track.
const Bytes kTrack = {0x00, 0xC0, 0x05, 0x00, 0x90, 60, 100, 0x60, 0x80, 60, 0x40, 0x00, 0xFF, 0x2F, 0x00};

Bytes Format0(int division = 96) { return SmfBuilder().Header(0, 1, division).Track(kTrack).Bytes(); }

Bytes Prefixed(const Bytes& file, std::uint8_t fill = 'x') { return test::Concat({Bytes(128, fill), file}); }

// Everything a wrong-state call could disturb.
struct Snapshot {
    std::int32_t state;
    std::int32_t size;
    std::int32_t cursor;
    std::int32_t division;
    std::int32_t trackState;
    std::int32_t trackSize;
    const MidiTrackData* track;
    std::vector<test::TimedEvent> events;
    Bytes image;
    bool operator==(const Snapshot&) const = default;
};

Snapshot Take(const MidiF0Data& song) {
    return {song.state,
            song.size,
            song.cursor,
            song.division,
            song.track->state,
            song.track->size,
            song.track.get(),
            test::TimedEvents(*song.track),
            Bytes(song.Bytes(), song.Bytes() + song.size)};
}

// A song taken step by step from a file to the wanted state (0, 1 or 2).
std::unique_ptr<MidiF0Data> SongInState(const TempFile& file, std::int32_t state) {
    auto song = std::make_unique<MidiF0Data>(kStateImage);
    song->LoadFile(file.path());
    song->ParseHeader();
    if (state >= kStateEventForm) song->ParseTrack();
    if (state >= kStateNoteForm) song->ToNoteForm();
    return song;
}

TEST(SongStates, EveryRefusedCallReportsInternalErrorOnceAndChangesNothing) {
    struct Case {
        const char* name;
        std::int32_t state;
        std::function<void(MidiF0Data&)> call;
    };
    const std::vector<Case> cases = {
        {"ToEventForm in event form", 1, [](MidiF0Data& s) { s.ToEventForm(); }},
        {"ToEventForm in image state", 0, [](MidiF0Data& s) { s.ToEventForm(); }},
        {"ToNoteForm in note form", 2, [](MidiF0Data& s) { s.ToNoteForm(); }},
        {"ToNoteForm in image state", 0, [](MidiF0Data& s) { s.ToNoteForm(); }},
        {"ParseTrack in event form", 1, [](MidiF0Data& s) { s.ParseTrack(); }},
        {"ParseTrack in note form", 2, [](MidiF0Data& s) { s.ParseTrack(); }},
        {"WriteSmf in image state", 0, [](MidiF0Data& s) { s.WriteSmf(); }},
        {"WriteSmf in note form", 2, [](MidiF0Data& s) { s.WriteSmf(); }},
        {"ReverseHorizontal in image state", 0, [](MidiF0Data& s) { s.ReverseHorizontal(); }},
        {"ReverseHorizontal in note form", 2, [](MidiF0Data& s) { s.ReverseHorizontal(); }},
    };
    const TempFile file(Format0());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto song = SongInState(file, c.state);
        ASSERT_EQ(song->state, c.state);
        const Snapshot before = Take(*song);
        RecordingSink sink;
        c.call(*song);
        EXPECT_THAT(sink.codes(), ElementsAre(kSongInternalError));
        ASSERT_EQ(sink.reports().size(), 1u);
        EXPECT_EQ(sink.reports()[0].module, "MidiF0Data");
        EXPECT_EQ(sink.reports()[0].text, "MidiF0Dataで内部エラーが発生しました。");
        EXPECT_TRUE(Take(*song) == before);
    }
}

TEST(SongStates, FileConstructorReadsHeaderAndTrackAndEndsInNoteForm) {
    const TempFile file(Format0(480));
    RecordingSink sink;
    const MidiF0Data song(file.path());
    EXPECT_THAT(sink.codes(), IsEmpty());
    EXPECT_EQ(song.state, kStateNoteForm);
    EXPECT_EQ(song.track->state, kStateNoteForm);
    EXPECT_EQ(song.division, 480);
    EXPECT_EQ(song.cursor, 14 + 8 + static_cast<std::int32_t>(kTrack.size()));
    EXPECT_THAT(test::Notes(*song.track), ElementsAre(test::Note{0, 60, 0, 96}));
    ASSERT_EQ(song.track->count(), 3);
    EXPECT_EQ(song.track->events[0].type, kTypeProgram);
    EXPECT_TRUE(song.track->events[2].IsEndOfTrack());
}

TEST(SongStates, FileConstructorEndsInNoteFormWhenTheFileDoesNotOpen) {
    const TempFile dir;  // names a file that was never written
    RecordingSink sink;
    const MidiF0Data song(dir.path());
    // No file, so no "MTrk" in the empty image, and a refused track cannot go to note form.
    EXPECT_THAT(sink.codes(), ElementsAre(kGeneralCannotOpen, kTrackNoChunk, kTrackInternalError));
    EXPECT_EQ(song.state, kStateNoteForm);
    EXPECT_EQ(song.size, 0);
    EXPECT_TRUE(song.track->events.empty());
}

TEST(SongStates, ParseTrackInImageStateReadsTheChunkAtTheCursorAndAdvancesIt) {
    const TempFile file(Format0());
    auto song = SongInState(file, kStateImage);
    ASSERT_EQ(song->cursor, 14);
    RecordingSink sink;
    song->ParseTrack();
    EXPECT_THAT(sink.codes(), IsEmpty());
    EXPECT_EQ(song->state, kStateEventForm);
    EXPECT_EQ(song->track->state, kStateEventForm);
    EXPECT_EQ(song->cursor, 14 + 8 + static_cast<std::int32_t>(kTrack.size()));
    EXPECT_EQ(song->track->count(), 4);
}

TEST(SongStates, ConversionsAndWritingMoveSongAndTrackTogether) {
    const TempFile file(Format0());
    const MidiF0Data loaded(file.path());
    MidiF0Data song(loaded);
    RecordingSink sink;
    song.ToEventForm();
    EXPECT_EQ(song.state, kStateEventForm);
    EXPECT_EQ(song.track->state, kStateEventForm);
    EXPECT_EQ(song.track->count(), 4);
    song.ToNoteForm();
    EXPECT_EQ(song.state, kStateNoteForm);
    EXPECT_EQ(song.track->state, kStateNoteForm);
    song.ToEventForm();
    song.WriteSmf();
    EXPECT_EQ(song.state, kStateImage);
    EXPECT_EQ(song.track->state, kStateImage);
    EXPECT_THAT(sink.codes(), IsEmpty());
}

TEST(SongWriting, LoadedFileIsWrittenBackByteForByte) {
    // Program change, note, note-off 96 ticks later, End of Track: the
    // format-0 file the writer makes of it, with no running status.
    const Bytes expected = {0x4D, 0x54, 0x68, 0x64, 0x00, 0x00, 0x00, 0x06, 0x00, 0x00, 0x00, 0x01, 0x00,
                            0x60, 0x4D, 0x54, 0x72, 0x6B, 0x00, 0x00, 0x00, 0x0F, 0x00, 0xC0, 0x05, 0x00,
                            0x90, 0x3C, 0x64, 0x60, 0x80, 0x3C, 0x40, 0x00, 0xFF, 0x2F, 0x00};
    const TempFile file(Format0());
    const MidiF0Data loaded(file.path());
    RecordingSink sink;
    EXPECT_EQ(test::SaveAsBytes(loaded, false, false), expected);
    EXPECT_THAT(sink.codes(), IsEmpty());
}

struct HeaderCase {
    const char* name;
    Bytes file;
    int result;
    std::vector<std::uint32_t> codes;
    std::int32_t division;
};

TEST(SongHeader, ParseHeaderAnswersAndReportsAsTabled) {
    const Bytes track = SmfBuilder().Track(kTrack).Bytes();
    auto header = [](const char id[4], int format, int tracks) {
        Bytes h = SmfBuilder().Header(format, tracks, 120).Bytes();
        std::memcpy(h.data(), id, 4);
        return h;
    };
    const std::vector<HeaderCase> cases = {
        {"format 0, one track", test::Concat({header("MThd", 0, 1), track}), 1, {}, 120},
        {"header behind a 128-byte prefix", Prefixed(test::Concat({header("MThd", 0, 1), track})), 1, {}, 120},
        {"format 1 given to the format-0 path", test::Concat({header("MThd", 1, 1), track}), 0, {kSongNotFormat0}, 0},
        {"format 0 declaring 2 tracks", test::Concat({header("MThd", 0, 2), track}), 0, {kSongBadTrackCount}, 0},
        {"format 0 declaring 0 tracks", test::Concat({header("MThd", 0, 0), track}), 0, {kSongBadTrackCount}, 0},
        // Without "MThd" the header is still checked where it should stand.
        {"no MThd, fields of a good header", test::Concat({header("RIFF", 0, 1), track}), 1, {kSongNoHeader}, 120},
        {"no MThd, format 1", test::Concat({header("RIFF", 1, 1), track}), 0, {kSongNoHeader, kSongNotFormat0}, 0},
        {"no MThd, two tracks", test::Concat({header("RIFF", 0, 2), track}), 0, {kSongNoHeader, kSongBadTrackCount}, 0},
        {"MThd at offset 64 only", test::Concat({Bytes(64, 0), header("MThd", 0, 1), track, Bytes(64, 0)}), 0,
         {kSongNoHeader, kSongBadTrackCount}, 0},
        {"ten bytes of text", Bytes{'n', 'o', 't', ' ', 'a', ' ', 'm', 'i', 'd', 'i'}, 0,
         {kSongNoHeader, kSongNotFormat0}, 0},
        {"four bytes of text", Bytes{'n', 'o', 'p', 'e'}, 0, {kSongNoHeader, kSongBadTrackCount}, 0},
        {"empty file", Bytes{}, 0, {}, 0},
    };
    for (const HeaderCase& c : cases) {
        SCOPED_TRACE(c.name);
        const TempFile file(c.file);
        MidiF0Data song(kStateImage);
        song.LoadFile(file.path());
        RecordingSink sink;
        EXPECT_EQ(song.ParseHeader(), c.result);
        EXPECT_EQ(sink.codes(), c.codes);
        EXPECT_EQ(song.division, c.division);
        if (c.result == 1) {
            EXPECT_EQ(song.cursor, 14);
        }
    }
}

TEST(SongHeader, MissingHeaderIsReportedWithItsOwnText) {
    const TempFile file(Bytes{'n', 'o', 'p', 'e'});
    MidiF0Data song(kStateImage);
    song.LoadFile(file.path());
    RecordingSink sink;
    song.ParseHeader();
    ASSERT_FALSE(sink.reports().empty());
    EXPECT_EQ(sink.reports()[0].module, "MidiF0Data");
    EXPECT_EQ(sink.reports()[0].text, "MIDIファイルではないか、ファイルにマックバイナリがついています。");
}

TEST(SongHeader, PrefixIsMovedOutOfTheImageAndSizeLowered) {
    const Bytes bare = Format0();
    const TempFile file(Prefixed(bare, 0x80));
    MidiF0Data song(kStateImage);
    song.LoadFile(file.path());
    ASSERT_EQ(song.size, static_cast<std::int32_t>(bare.size()) + 128);
    ASSERT_EQ(song.ParseHeader(), 1);
    EXPECT_EQ(song.size, static_cast<std::int32_t>(bare.size()));
    EXPECT_EQ(Bytes(song.Bytes(), song.Bytes() + song.size), bare);
}

TEST(SongHeader, PrefixedFileLoadsExactlyLikeTheBareFile) {
    const TempFile bareFile(Format0());
    const TempFile prefixedFile(Prefixed(Format0()));
    RecordingSink sink;
    const MidiF0Data bare(bareFile.path());
    const MidiF0Data prefixed(prefixedFile.path());
    EXPECT_THAT(sink.codes(), IsEmpty());
    EXPECT_EQ(prefixed.division, bare.division);
    EXPECT_EQ(test::TimedEvents(*prefixed.track), test::TimedEvents(*bare.track));
    EXPECT_EQ(prefixed.cursor, bare.cursor);
}

TEST(SongHeader, TimeCodeDivisionIsKeptUnsignedAndWrittenBackUnchanged) {
    for (const int division : {0x8000, 0xE728, 0xE250, 0xFFFF}) {
        SCOPED_TRACE(division);
        const TempFile file(Format0(division));
        RecordingSink sink;
        const MidiF0Data loaded(file.path());
        EXPECT_EQ(loaded.division, division);
        const Bytes written = test::SaveAsBytes(loaded, false, false);
        ASSERT_GE(written.size(), 14u);
        EXPECT_EQ(written[12], division >> 8);
        EXPECT_EQ(written[13], division & 0xFF);
        EXPECT_THAT(sink.codes(), IsEmpty());
    }
}

struct DetectCase {
    const char* name;
    Bytes image;
    int expected;
};

TEST(SongDetectFormat, JudgesByTheFormatFieldAlone) {
    const Bytes track = SmfBuilder().Track(kTrack).Bytes();
    auto with = [&](int format) { return SmfBuilder().Header(format, 1, 96).Track(kTrack).Bytes(); };
    Bytes noHeader(32, 0);
    noHeader[0] = 'R';
    Bytes textFormat1(32, 'a');
    textFormat1[8] = 0;
    textFormat1[9] = 1;
    const std::vector<DetectCase> cases = {
        {"format 0", with(0), 0},
        {"format 1", with(1), 1},
        {"format 2", with(2), -1},
        {"format 0x0100", with(0x100), -1},
        {"format 0xFFFF", with(0xFFFF), -1},
        {"no MThd but 00 00 at bytes 8 and 9", noHeader, 0},
        {"no MThd but 00 01 at bytes 8 and 9", textFormat1, 1},
        {"only zero bytes", Bytes(16, 0), 0},
        {"prefix, then format 1", Prefixed(with(1)), 1},
        {"prefix, then format 2", Prefixed(with(2)), -1},
        // A prefix whose bytes 8 and 9 say 0 does not count once "MThd" follows it.
        {"zero prefix, then format 1", Prefixed(with(1), 0), 1},
    };
    for (const DetectCase& c : cases) {
        SCOPED_TRACE(c.name);
        Bytes image = c.image;
        image.resize(kImageCapacity, 0);
        EXPECT_EQ(MidiF0Data::DetectFormat(image.data(), static_cast<std::int32_t>(c.image.size())), c.expected);
    }
}

TEST(SongDetectFormat, MovesAPrefixedImageDownInPlace) {
    const Bytes bare = SmfBuilder().Header(1, 1, 96).Track(kTrack).Bytes();
    Bytes image = Prefixed(bare);
    const auto size = static_cast<std::int32_t>(image.size());
    image.resize(kImageCapacity, 0);
    ASSERT_EQ(MidiF0Data::DetectFormat(image.data(), size), 1);
    EXPECT_TRUE(std::equal(bare.begin(), bare.end(), image.begin()));
}

TEST(SongCopy, CopyHasEmptyImageAndTheSameEvents) {
    const TempFile file(Format0(240));
    const MidiF0Data source(file.path());
    ASSERT_GT(source.size, 0);
    RecordingSink sink;
    const MidiF0Data copy(source);
    EXPECT_THAT(sink.codes(), IsEmpty());
    EXPECT_EQ(copy.size, 0);
    EXPECT_EQ(copy.cursor, 0);
    EXPECT_TRUE(std::all_of(copy.Bytes(), copy.Bytes() + kImageCapacity, [](std::uint8_t b) { return b == 0; }));
    EXPECT_EQ(copy.track->size, 0);
    EXPECT_EQ(copy.division, 240);
    EXPECT_EQ(copy.state, source.state);
    EXPECT_EQ(copy.track->state, kStateNoteForm);
    EXPECT_EQ(test::TimedEvents(*copy.track), test::TimedEvents(*source.track));
}

TEST(SongCopy, ChangingTheCopyLeavesTheSourceAlone) {
    auto source = test::SongOf(kStateNoteForm, {});
    source->track->events.push_back(test::Program(0, 5, 0));
    MusicEvent text(0);
    text.type = kTypeMeta;
    text.subtype = 0x03;
    text.data = {'a', 'b', 'c', 0};
    text.length = 3;
    source->track->events.push_back(text);
    source->track->events.push_back(test::NoteEvent(10, 60, 96, 0));
    source->track->events.push_back(test::EndOfTrack(96));
    const auto before = test::TimedEvents(*source->track);

    RecordingSink sink;
    MidiF0Data copy(*source);
    copy.track->events[2].key = 72;
    copy.track->events[0].delta = 500;
    copy.track->events[1].data[0] = 'z';
    copy.ToEventForm();
    copy.ReverseHorizontal();
    ASSERT_THAT(sink.codes(), IsEmpty());

    EXPECT_EQ(test::TimedEvents(*source->track), before);
    EXPECT_EQ(source->track->events[1].data, (Bytes{'a', 'b', 'c'}));
    EXPECT_EQ(source->state, kStateNoteForm);
}

TEST(SongCopy, CopyOfASongInEventFormHoldsNoEvents) {
    auto source = test::SongOf(kStateEventForm, {});
    source->track->events.push_back(test::NoteOn(0, 60, 100, 0));
    source->track->events.push_back(test::NoteOff(10, 60, 0, 0x40));
    RecordingSink sink;
    const MidiF0Data copy(*source);
    EXPECT_THAT(sink.codes(), ElementsAre(kTrackInternalError));
    EXPECT_TRUE(copy.track->events.empty());
    EXPECT_EQ(source->track->count(), 2);
}

}  // namespace
}  // namespace solvane
