#include "song/MidiF1Data.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "song/MidiF0Data.h"
#include "song/MidiFileLoader.h"
#include "tests/support/RecordingSink.h"
#include "tests/support/SmfBuilder.h"
#include "tests/support/SongProbe.h"

namespace solvane {
namespace {

using test::Brief;
using test::Bytes;
using test::Note;
using test::RecordingSink;
using test::SmfBuilder;
using test::TempFile;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

// One note of the given key and channel at start, lasting 10 ticks, then an
// End of Track end ticks after the note-off.
Bytes NoteTrack(int key, int channel = 0, int start = 0, int end = 0) {
    return test::Concat({test::VarLen(static_cast<std::uint32_t>(start)),
                         {static_cast<std::uint8_t>(0x90 | channel), static_cast<std::uint8_t>(key), 100, 10,
                          static_cast<std::uint8_t>(0x80 | channel), static_cast<std::uint8_t>(key), 0x40},
                         test::VarLen(static_cast<std::uint32_t>(end)),
                         {0xFF, 0x2F, 0x00}});
}

// A format-1 file declaring declared tracks and holding present ones; track k
// has a note of key 20 + k on channel k % 16 at tick k.
Bytes Format1(int declared, int present) {
    SmfBuilder builder;
    builder.Header(1, declared, 96);
    for (int k = 0; k < present; ++k) builder.Track(NoteTrack(20 + k, k % 16, k));
    return builder.Bytes();
}

std::unique_ptr<MidiF0Data> LoadSong(const Bytes& file) {
    return std::move(test::LoadAsTheDialogDoes(TempFile(file).path())->song);
}

constexpr std::int32_t kNote = kTypeNote;
constexpr std::int32_t kMeta = kTypeMeta;

struct CountCase {
    int declared;
    int present;
    std::int32_t trackCount;
    std::vector<std::uint32_t> codes;
};

TEST(Format1Header, TrackCountsAreTakenAsTabled) {
    const std::vector<CountCase> cases = {
        {1, 1, 1, {}},
        {20, 20, 20, {}},
        {33, 33, 33, {}},
        {34, 34, 16, {kF1TooManyTracks}},
        {40, 40, 16, {kF1TooManyTracks}},
        // Each missing chunk is looked for at the same place and reported there.
        {5, 3, 5, {kTrackNoChunk, kTrackNoChunk}},
        {0, 1, 0, {}},
    };
    for (const CountCase& c : cases) {
        SCOPED_TRACE(testing::Message() << c.declared << " declared, " << c.present << " present");
        const TempFile file(Format1(c.declared, c.present));
        RecordingSink sink;
        const MidiF1Data reader(file.path());
        EXPECT_EQ(sink.codes(), c.codes);
        EXPECT_EQ(reader.trackCount, c.trackCount);
        EXPECT_EQ(reader.division, 96);
        if (c.trackCount == 0 || reader.trackCount != c.trackCount) continue;
        EXPECT_EQ(reader.state, kStateNoteForm);
        for (int k = 0; k < c.trackCount; ++k) {
            SCOPED_TRACE(k);
            const MidiTrackData& track = *reader.tracks[static_cast<std::size_t>(k)];
            EXPECT_EQ(track.state, kStateNoteForm);
            if (k < c.present) {
                EXPECT_THAT(test::Notes(track), ElementsAre(Note{k % 16, 20 + k, k, 10}));
            } else {
                EXPECT_TRUE(track.events.empty());
            }
        }
    }
}

TEST(Format1Header, TooManyTracksShowsTheThreeLineWarning) {
    const TempFile file(Format1(40, 40));
    RecordingSink sink;
    const MidiF1Data reader(file.path());
    EXPECT_EQ(reader.trackCount, 16);
    EXPECT_TRUE(reader.tracks[15].has_value());
    EXPECT_FALSE(reader.tracks[16].has_value());  // the other 24 chunks are not read
    ASSERT_EQ(sink.reports().size(), 1u);
    EXPECT_EQ(sink.reports()[0].module, "MidiF1Data");
    EXPECT_EQ(sink.reports()[0].text,
              "このファイルに設定されているトラック数はこのソフトで扱える最大トラック数(16)を超えています。\r"
              "(実際に使用しているトラック数とファイルに設定されているトラック数は異なる場合があります。)\r"
              "処理を継続しますが、重大なエラーを引き起こす可能性があります。");
}

TEST(Format1Header, MissingTracksAddNothingToTheLoadedSong) {
    const TempFile file(Format1(5, 3));
    RecordingSink sink;
    MidiFileLoader loader(file.path());
    ASSERT_NE(loader.size, 0);
    loader.BuildSong();
    ASSERT_NE(loader.song, nullptr);
    ASSERT_EQ(sink.reports().size(), 2u);
    for (const test::Report& r : sink.reports()) {
        EXPECT_EQ(r.module, "MidiTrackData");
        EXPECT_EQ(r.text, "MIDIファイルではないか、マックバイナリがついているファイルです。");
    }
    EXPECT_THAT(test::Notes(*loader.song->track),
                ElementsAre(Note{0, 20, 0, 10}, Note{1, 21, 1, 10}, Note{2, 22, 2, 10}));
}

TEST(Format1Header, AfterAnUnreadableChunkLaterTracksAreLookedForAtTheSamePlace) {
    const Bytes second = NoteTrack(21);
    const TempFile file(SmfBuilder()
                            .Header(1, 3, 96)
                            .Track(NoteTrack(20))
                            .Chunk("XTrk", static_cast<std::uint32_t>(second.size()), second)
                            .Track(NoteTrack(22))
                            .Bytes());
    RecordingSink sink;
    const MidiF1Data reader(file.path());
    EXPECT_THAT(sink.codes(), ElementsAre(kTrackNoChunk, kTrackNoChunk));
    ASSERT_EQ(reader.trackCount, 3);
    EXPECT_THAT(test::Notes(*reader.tracks[0]), ElementsAre(Note{0, 20, 0, 10}));
    EXPECT_TRUE(reader.tracks[1]->events.empty());
    EXPECT_TRUE(reader.tracks[2]->events.empty());
    EXPECT_EQ(reader.tracks[2]->state, kStateNoteForm);
}

TEST(Format1Header, TwentyTracksAreAllMergedWithoutAMessage) {
    RecordingSink sink;
    const auto song = LoadSong(Format1(20, 20));
    ASSERT_NE(song, nullptr);
    EXPECT_THAT(sink.codes(), IsEmpty());
    std::vector<Note> expected;
    for (int k = 0; k < 20; ++k) expected.push_back({k % 16, 20 + k, k, 10});
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(test::Notes(*song->track), expected);
}

struct RefusedCase {
    const char* name;
    Bytes file;
    std::vector<std::uint32_t> codes;
};

TEST(Format1Header, RefusedHeadersLeaveNoTracks) {
    Bytes garbage(200, 'g');
    const std::vector<RefusedCase> cases = {
        {"format 0", SmfBuilder().Header(0, 1, 96).Track(NoteTrack(60)).Bytes(), {kF1NotFormat1}},
        {"format 2", SmfBuilder().Header(2, 1, 96).Track(NoteTrack(60)).Bytes(), {kF1NotFormat1}},
        {"no MThd at 0 or 128", garbage, {kF1NoHeader}},
        {"no MThd, shorter than a prefix", Bytes{'a', 'b', 'c'}, {kF1NoHeader}},
        {"empty file", Bytes{}, {}},
    };
    for (const RefusedCase& c : cases) {
        SCOPED_TRACE(c.name);
        const TempFile file(c.file);
        RecordingSink sink;
        MidiF1Data reader(file.path());
        EXPECT_EQ(sink.codes(), c.codes);
        EXPECT_EQ(reader.trackCount, 0);
        EXPECT_EQ(reader.state, kStateImage);
        EXPECT_FALSE(reader.tracks[0].has_value());
    }
}

TEST(Format1Header, PrefixedFileReadsLikeTheBareFile) {
    const Bytes bare = Format1(3, 3);
    const TempFile bareFile(bare);
    const TempFile prefixedFile(test::Concat({Bytes(128, 0x55), bare}));
    RecordingSink sink;
    const MidiF1Data a(bareFile.path());
    const MidiF1Data b(prefixedFile.path());
    EXPECT_THAT(sink.codes(), IsEmpty());
    ASSERT_EQ(b.trackCount, 3);
    for (std::size_t k = 0; k < 3; ++k) EXPECT_EQ(test::TimedEvents(*b.tracks[k]), test::TimedEvents(*a.tracks[k]));
}

TEST(Format1Header, HeaderLengthFieldIsNotRead) {
    Bytes file = Format1(2, 2);
    file[7] = 0x20;  // claims 32 header bytes; the tracks still start at 14
    const TempFile temp(file);
    RecordingSink sink;
    const MidiF1Data reader(temp.path());
    EXPECT_THAT(sink.codes(), IsEmpty());
    EXPECT_EQ(reader.trackCount, 2);
    EXPECT_THAT(test::Notes(*reader.tracks[1]), ElementsAre(Note{1, 21, 1, 10}));
}

TEST(Format1States, ReadingOrConvertingAgainReportsAndChangesNothing) {
    const TempFile file(Format1(2, 2));
    MidiF1Data reader(file.path());
    const MidiTrackData* first = &*reader.tracks[0];
    const auto before = test::TimedEvents(*first);
    RecordingSink sink;
    reader.ReadTracks();
    reader.ConvertTracks();
    EXPECT_THAT(sink.codes(), ElementsAre(kF1InternalError, kF1InternalError));
    EXPECT_EQ(sink.reports()[0].text, "MidiF1Dataで内部エラーが発生しました。");
    EXPECT_EQ(reader.state, kStateNoteForm);
    EXPECT_EQ(reader.trackCount, 2);
    EXPECT_EQ(&*reader.tracks[0], first);
    EXPECT_EQ(test::TimedEvents(*first), before);
}

TEST(Format1States, SplitRefusesASongNotInNoteForm) {
    auto song = test::SongOf(kStateEventForm, {});
    song->track->events.push_back(test::NoteOn(0, 60, 100, 0));
    song->track->events.push_back(test::NoteOff(10, 60, 0, 0x40));
    RecordingSink sink;
    const MidiF1Data reader(*song);
    EXPECT_THAT(sink.codes(), ElementsAre(kF1InternalError));
    EXPECT_EQ(reader.trackCount, 0);
    EXPECT_NE(reader.state, kStateNoteForm);
}

MusicEvent RhythmPartSysEx(std::int32_t delta, std::int32_t channel) {
    MusicEvent e = test::Exclusive(delta, {0xF0, 0x0A, 0x41, 0x10, 0x42, 0x12, 0x40, 0x1A, 0x15, 0x02, 0x00, 0xF7});
    e.channel = channel;
    return e;
}

TEST(Format1Split, EachChannelGetsItsOwnTrackWithTimesKept) {
    std::vector<MusicEvent> events;
    events.push_back(test::Tempo(0, 500000));
    events.push_back(test::NoteEvent(0, 64, 30, 1));
    events.push_back(test::Program(0, 7, 0));
    events.push_back(test::NoteEvent(10, 36, 5, 9));
    events.push_back(RhythmPartSysEx(0, 10));
    events.push_back(test::Control(10, 7, 90, 1));
    events.push_back(test::EndOfTrack(80));
    auto song = test::SongOf(kStateNoteForm, std::move(events), 384);
    RecordingSink sink;
    const MidiF1Data split(*song);
    EXPECT_THAT(sink.codes(), IsEmpty());
    ASSERT_EQ(split.trackCount, 16);
    EXPECT_EQ(split.state, kStateNoteForm);
    EXPECT_EQ(split.division, 384);
    auto track = [&](std::size_t k) -> const MidiTrackData& { return *split.tracks[k]; };
    // Events without a channel go with channel 0.
    EXPECT_THAT(test::Briefly(track(0)), ElementsAre(Brief{0, kMeta, 255, 0}, Brief{0, kTypeProgram, 0, 0},
                                               Brief{100, kMeta, 255, 0}));
    EXPECT_THAT(test::Briefly(track(1)),
                ElementsAre(Brief{0, kNote, 1, 64}, Brief{20, kTypeControl, 1, 0}, Brief{100, kMeta, 255, 0}));
    EXPECT_THAT(test::Briefly(track(9)), ElementsAre(Brief{10, kNote, 9, 36}, Brief{100, kMeta, 255, 0}));
    EXPECT_THAT(test::Briefly(track(10)), ElementsAre(Brief{10, kTypeSysEx, 10, 0}, Brief{100, kMeta, 255, 0}));
    // Deltas are measured from the track's own previous event.
    EXPECT_EQ(track(1).events[1].delta, 20);
    EXPECT_EQ(track(1).events[2].delta, 80);
    EXPECT_EQ(track(1).events[0].duration, 30);
    EXPECT_EQ(track(10).events[0].data, song->track->events[4].data);
    for (std::size_t k : {2u, 3u, 8u, 11u, 15u}) {
        SCOPED_TRACE(k);
        ASSERT_EQ(track(k).count(), 1);
        EXPECT_TRUE(track(k).events[0].IsEndOfTrack());
        EXPECT_EQ(track(k).events[0].delta, 100);
        EXPECT_EQ(track(k).state, kStateNoteForm);
    }
}

TEST(Format1Split, SongWithoutEndOfTrackGivesTracksWithoutOne) {
    std::vector<MusicEvent> events;
    events.push_back(test::NoteEvent(5, 60, 10, 3));
    auto song = test::SongOf(kStateNoteForm, std::move(events));
    const MidiF1Data split(*song);
    ASSERT_EQ(split.trackCount, 16);
    EXPECT_THAT(test::Briefly(*split.tracks[3]), ElementsAre(Brief{5, kNote, 3, 60}));
    EXPECT_TRUE(split.tracks[0]->events.empty());
}

TEST(Format1Merge, EventsComeOutByTimeWithTheMergedInTrackFirstAtTies) {
    std::vector<MusicEvent> d;
    d.push_back(test::NoteEvent(0, 1, 50, 0));
    d.push_back(test::NoteEvent(10, 2, 50, 0));
    d.push_back(test::NoteEvent(10, 3, 50, 0));
    std::vector<MusicEvent> s;
    s.push_back(test::NoteEvent(0, 11, 7, 1));
    s.push_back(test::NoteEvent(10, 12, 7, 1));
    s.push_back(test::NoteEvent(5, 13, 7, 1));
    auto dest = test::TrackOf(kStateNoteForm, std::move(d));
    const auto other = test::TrackOf(kStateNoteForm, std::move(s));
    RecordingSink sink;
    dest->MergeTrack(*other);
    EXPECT_THAT(sink.codes(), IsEmpty());
    EXPECT_THAT(test::Briefly(*dest), ElementsAre(Brief{0, kNote, 1, 11}, Brief{0, kNote, 0, 1}, Brief{10, kNote, 1, 12},
                                            Brief{10, kNote, 0, 2}, Brief{15, kNote, 1, 13},
                                            Brief{20, kNote, 0, 3}));
    for (const MusicEvent& e : dest->events) EXPECT_EQ(e.duration, e.channel == 0 ? 50 : 7);
    EXPECT_EQ(dest->state, kStateNoteForm);
    EXPECT_EQ(other->count(), 3);  // the merged-in track is only read
}

TEST(Format1Merge, EachSideKeepsItsOrderAtEqualTimes) {
    std::vector<MusicEvent> d;
    d.push_back(test::NoteEvent(5, 1, 10, 0));
    d.push_back(test::NoteEvent(0, 2, 10, 0));
    std::vector<MusicEvent> s;
    s.push_back(test::NoteEvent(5, 3, 10, 0));
    s.push_back(test::NoteEvent(0, 4, 10, 0));
    auto dest = test::TrackOf(kStateNoteForm, std::move(d));
    dest->MergeTrack(*test::TrackOf(kStateNoteForm, std::move(s)));
    std::vector<std::int32_t> keys;
    for (const MusicEvent& e : dest->events) keys.push_back(e.key);
    EXPECT_THAT(keys, ElementsAre(3, 4, 1, 2));
    EXPECT_THAT(test::Briefly(*dest), ::testing::Each(::testing::Field(&Brief::time, 5)));
}

TEST(Format1Merge, OneEndOfTrackRemainsAtTheLatestEnd) {
    for (const bool longerMergedIn : {false, true}) {
        SCOPED_TRACE(longerMergedIn);
        std::vector<MusicEvent> shortEvents;
        shortEvents.push_back(test::NoteEvent(0, 60, 100, 0));
        shortEvents.push_back(test::EndOfTrack(960));
        std::vector<MusicEvent> longEvents;
        longEvents.push_back(test::NoteEvent(0, 62, 100, 1));
        longEvents.push_back(test::NoteEvent(1500, 64, 100, 1));
        longEvents.push_back(test::EndOfTrack(420));
        auto shortTrack = test::TrackOf(kStateNoteForm, std::move(shortEvents));
        auto longTrack = test::TrackOf(kStateNoteForm, std::move(longEvents));
        MidiTrackData& dest = longerMergedIn ? *shortTrack : *longTrack;
        dest.MergeTrack(longerMergedIn ? *longTrack : *shortTrack);
        const auto times = test::Briefly(dest);
        ASSERT_EQ(times.size(), 4u);
        // The note after the End of Track at 960 that was removed keeps its time.
        EXPECT_EQ(times[2], (Brief{1500, kNote, 1, 64}));
        EXPECT_EQ(times[3], (Brief{1920, kMeta, 255, 0}));
        EXPECT_TRUE(dest.events.back().IsEndOfTrack());
    }
}

TEST(Format1Merge, TrackNotInNoteFormIsReportedAndAddsNothing) {
    std::vector<MusicEvent> d;
    d.push_back(test::NoteEvent(0, 60, 10, 0));
    auto dest = test::TrackOf(kStateNoteForm, std::move(d));
    MidiTrackData eventForm(kStateEventForm);
    eventForm.events.push_back(test::NoteOn(0, 62, 100, 0));
    eventForm.events.push_back(test::NoteOff(10, 62, 0, 0x40));
    RecordingSink sink;
    dest->MergeTrack(eventForm);
    EXPECT_THAT(sink.codes(), ElementsAre(kTrackInternalError));
    EXPECT_THAT(test::Briefly(*dest), ElementsAre(Brief{0, kNote, 0, 60}));
}

TEST(Format1Loading, TracksEndingAt960And1920LeaveOneEndOfTrackAt1920) {
    // Track 0 ends at 960; track 1 has a note at 1500 and ends at 1920.
    const Bytes first = NoteTrack(60, 0, 0, 950);
    const Bytes late = test::Concat({{0x00, 0x91, 62, 100, 10, 0x81, 62, 0x40},
                                     test::VarLen(1490), {0x91, 64, 100, 0x64, 0x81, 64, 0x40},
                                     test::VarLen(320), {0xFF, 0x2F, 0x00}});
    RecordingSink sink;
    const auto song = LoadSong(SmfBuilder().Header(1, 2, 96).Track(first).Track(late).Bytes());
    ASSERT_NE(song, nullptr);
    EXPECT_THAT(sink.codes(), IsEmpty());
    EXPECT_THAT(test::Briefly(*song->track), ElementsAre(Brief{0, kNote, 0, 60}, Brief{0, kNote, 1, 62},
                                                   Brief{1500, kNote, 1, 64}, Brief{1920, kMeta, 255, 0}));
}

TEST(Format1Loading, NotesAtTheSameTickComeOutInTrackOrder) {
    RecordingSink sink;
    const auto song = LoadSong(SmfBuilder().Header(1, 3, 96).Track(NoteTrack(70, 5)).Track(NoteTrack(50, 2))
                                   .Track(NoteTrack(60, 0)).Bytes());
    ASSERT_NE(song, nullptr);
    EXPECT_THAT(sink.codes(), IsEmpty());
    EXPECT_THAT(test::Briefly(*song->track), ElementsAre(Brief{0, kNote, 5, 70}, Brief{0, kNote, 2, 50},
                                                   Brief{0, kNote, 0, 60}, Brief{10, kMeta, 255, 0}));
}

TEST(Format1Loading, SingleTrackKeepsItsEventOrder) {
    // Channels 9, 0 and a tempo at one tick, as a format-1 file: nothing moves.
    const Bytes events = {0x00, 0x99, 36, 100, 0x00, 0x90, 60, 100, 0x00, 0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20,
                          0x10, 0x89, 36, 0x40, 0x00, 0x80, 60, 0x40, 0x00, 0xFF, 0x2F, 0x00};
    RecordingSink sink;
    const auto song = LoadSong(SmfBuilder().Header(1, 1, 96).Track(events).Bytes());
    ASSERT_NE(song, nullptr);
    EXPECT_THAT(sink.codes(), IsEmpty());
    EXPECT_THAT(test::Briefly(*song->track), ElementsAre(Brief{0, kNote, 9, 36}, Brief{0, kNote, 0, 60},
                                                   Brief{0, kMeta, 255, 0}, Brief{16, kMeta, 255, 0}));
}

TEST(Format0Loading, EventsOfOneTickComeOutByChannelWithMetaEventsOnChannel0) {
    // At tick 0: a channel-9 note, a channel-0 note and a tempo, in that order;
    // at tick 16 two channel-3 controllers that must keep their order.
    const Bytes events = {0x00, 0x99, 36, 100, 0x00, 0x90, 60, 100, 0x00, 0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20,
                          0x10, 0xB3, 10, 1, 0x00, 0xB3, 7, 2, 0x00, 0x89, 36, 0x40, 0x00, 0x80, 60, 0x40,
                          0x00, 0xFF, 0x2F, 0x00};
    RecordingSink sink;
    const auto song = LoadSong(SmfBuilder().Header(0, 1, 96).Track(events).Bytes());
    ASSERT_NE(song, nullptr);
    EXPECT_THAT(sink.codes(), IsEmpty());
    EXPECT_THAT(test::Briefly(*song->track),
                ElementsAre(Brief{0, kNote, 0, 60}, Brief{0, kMeta, 255, 0}, Brief{0, kNote, 9, 36},
                            Brief{16, kTypeControl, 3, 0}, Brief{16, kTypeControl, 3, 0},
                            Brief{16, kMeta, 255, 0}));
    EXPECT_EQ(song->track->events[3].subtype, 10);
    EXPECT_EQ(song->track->events[4].subtype, 7);
    EXPECT_EQ(song->track->events[1].value, 500000);
}

}  // namespace
}  // namespace solvane
