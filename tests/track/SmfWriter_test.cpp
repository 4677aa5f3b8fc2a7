// Writing a song as a format-0 file: header, reorderings of simultaneous
// events, encodings, and what the writer does with events it cannot write.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "song/MidiF0Data.h"
#include "tests/support/RecordingSink.h"
#include "tests/support/SmfBuilder.h"
#include "tests/support/SongProbe.h"
#include "tests/support/TrackFixtures.h"
#include "track/MidiTrackData.h"

namespace solvane {
namespace {

using test::Bytes;
using test::Concat;
using test::Control;
using test::EndOfTrack;
using test::Exclusive;
using test::Meta;
using test::NoteOff;
using test::NoteOn;
using test::Program;
using test::RecordingSink;
using test::SongOf;
using test::Timeline;
using test::TrackOf;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

Bytes ImageOf(const ByteImage& image) { return Bytes(image.Bytes(), image.Bytes() + image.size); }

// The written file as the song image holds it.
Bytes Write(std::vector<MusicEvent> events, std::int32_t division = 96) {
    auto song = SongOf(kStateEventForm, std::move(events), division);
    song->WriteSmf();
    EXPECT_EQ(song->state, kStateImage);
    return ImageOf(*song);
}

// The event bytes of the one track chunk of a written file (after its 22 header bytes).
Bytes EventsOf(const Bytes& file) {
    if (file.size() < 22) return {};
    return Bytes(file.begin() + 22, file.end());
}

TEST(SmfWriting, AnEmptySongIsTheTwentySixByteFile) {
    RecordingSink sink;
    EXPECT_EQ(Write({EndOfTrack(0)}, 480),
              (Bytes{0x4D, 0x54, 0x68, 0x64, 0x00, 0x00, 0x00, 0x06, 0x00, 0x00, 0x00, 0x01, 0x01,
                     0xE0, 0x4D, 0x54, 0x72, 0x6B, 0x00, 0x00, 0x00, 0x04, 0x00, 0xFF, 0x2F, 0x00}));
    EXPECT_THAT(sink.codes(), IsEmpty());
}

TEST(SmfWriting, AProgramAndOneNoteIsTheThirtySevenByteFile) {
    RecordingSink sink;
    auto song = SongOf(kStateEventForm, {Program(0, 5), NoteOn(0, 60, 100), NoteOff(96, 60), EndOfTrack(0)});
    song->WriteSmf();
    EXPECT_EQ(ImageOf(*song), (Bytes{0x4D, 0x54, 0x68, 0x64, 0x00, 0x00, 0x00, 0x06, 0x00, 0x00, 0x00, 0x01, 0x00,
                                     0x60, 0x4D, 0x54, 0x72, 0x6B, 0x00, 0x00, 0x00, 0x0F, 0x00, 0xC0, 0x05, 0x00,
                                     0x90, 0x3C, 0x64, 0x60, 0x80, 0x3C, 0x40, 0x00, 0xFF, 0x2F, 0x00}));
    EXPECT_EQ(song->state, kStateImage);
    EXPECT_EQ(song->track->state, kStateImage);
    EXPECT_THAT(sink.codes(), IsEmpty());
}

// ---- reorderings ----

TEST(Reordering, SortSimultaneousBringsNonNotesForwardAsBAN) {
    auto track = TrackOf(kStateEventForm, {Control(10, 1, 0), NoteOn(0, 60), Control(0, 2, 0), EndOfTrack(5)});
    track->SortSimultaneous();
    EXPECT_THAT(Timeline(*track), ElementsAre("10 cc c0 2=0", "0 cc c0 1=0", "0 on c0 k60 v100", "5 eot"));
}

TEST(Reordering, AProgramListedAfterItsNoteIsWrittenFirstAndTheNoteKeepsItsTime) {
    const Bytes file = Write({Control(0, 7, 100), NoteOn(48, 60), Program(0, 5), NoteOff(48, 60), EndOfTrack(0)});
    EXPECT_EQ(EventsOf(file), (Bytes{0x00, 0xB0, 0x07, 0x64, 0x30, 0xC0, 0x05, 0x00, 0x90, 0x3C, 0x64, 0x30, 0x80, 0x3C,
                                     0x40, 0x00, 0xFF, 0x2F, 0x00}));
}

TEST(Reordering, NoteOffsGoAheadOfTheNearestNoteOnOfTheirGroup) {
    struct Case {
        const char* name;
        std::vector<MusicEvent> events;
        std::vector<std::string> written;
    };
    std::vector<Case> cases;
    cases.push_back({"on, off", {NoteOn(5, 60), NoteOff(0, 60), EndOfTrack(0)},
                     {"5 off c0 k60 v0", "0 on c0 k60 v100", "0 eot"}});
    cases.push_back({"on A, on B, off A, off B",
                     {NoteOn(5, 60), NoteOn(0, 62), NoteOff(0, 60), NoteOff(0, 62), EndOfTrack(0)},
                     {"5 on c0 k60 v100", "0 off c0 k60 v0", "0 off c0 k62 v0", "0 on c0 k62 v100", "0 eot"}});
    // A note-off that begins its group is never moved.
    cases.push_back({"off after a gap", {NoteOn(0, 60), NoteOff(10, 62), EndOfTrack(0)},
                     {"0 on c0 k60 v100", "10 off c0 k62 v0", "0 eot"}});
    for (Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto track = TrackOf(kStateEventForm, std::move(c.events));
        track->OffsBeforeOns();
        EXPECT_THAT(Timeline(*track), ::testing::ElementsAreArray(c.written));
    }
}

TEST(Reordering, AfterAllPassesAGroupHoldsExclusivesThenOtherEventsThenNotes) {
    const MusicEvent sysex = Exclusive(0, {0xF0, 0x03, 0x7E, 0x7F, 0xF7});
    const MusicEvent escape = Exclusive(0, {0xF7, 0x01, 0x01});
    auto track = TrackOf(kStateEventForm,
                         {Control(5, 1, 0), sysex, NoteOn(0, 60), escape, Program(0, 9), NoteOff(0, 61), EndOfTrack(0)});
    track->SortSimultaneous();
    track->RaiseSysex();
    track->OffsBeforeOns();
    EXPECT_THAT(Timeline(*track), ElementsAre("5 escape len 3", "0 sysex c255 len 5", "0 cc c0 1=0", "0 pc c0 9",
                                              "0 off c0 k61 v0", "0 on c0 k60 v100", "0 eot"));
}

TEST(Reordering, PassesThatNeedEventFormReportAndChangeNothing) {
    RecordingSink sink;
    auto track = TrackOf(kStateNoteForm, {NoteOn(5, 60), NoteOff(0, 60), Control(0, 1, 0), EndOfTrack(0)});
    const auto before = Timeline(*track);
    track->SortSimultaneous();
    track->OffsBeforeOns();
    track->WriteTrack();
    EXPECT_EQ(Timeline(*track), before);
    EXPECT_EQ(track->state, kStateNoteForm);
    EXPECT_THAT(sink.codes(), ElementsAre(kTrackInternalError, kTrackInternalError, kTrackInternalError));

    track->events[1] = Exclusive(0, {0xF7, 0x00});
    track->RaiseSysex();  // needs no particular form
    EXPECT_THAT(Timeline(*track), ElementsAre("5 escape len 2", "0 on c0 k60 v100", "0 cc c0 1=0", "0 eot"));
}

// ---- encodings ----

TEST(EventEncoding, ChannelEventsAlwaysCarryTheirStatusAndNoteOffsVelocity64) {
    const Bytes file = Write({NoteOn(0, 60, 100, 3), NoteOn(0, 64, 90, 3), Control(0, 10, 64, 3), Control(0, 11, 1, 3),
                              test::ChannelEvent(kTypePitchBend, 0, 3), NoteOff(1, 60, 3, 0), NoteOff(0, 64, 3, 127),
                              EndOfTrack(0)});
    // The controllers and the bend come first; the sort exchanges the two note-ons on the way.
    EXPECT_EQ(EventsOf(file), (Bytes{0x00, 0xB3, 0x0A, 0x40, 0x00, 0xB3, 0x0B, 0x01, 0x00, 0xE3, 0x00, 0x00, 0x00,
                                     0x93, 0x40, 0x5A, 0x00, 0x93, 0x3C, 0x64, 0x01, 0x83, 0x3C, 0x40, 0x00, 0x83,
                                     0x40, 0x40, 0x00, 0xFF, 0x2F, 0x00}));
}

TEST(EventEncoding, DeltasAreVariableLengthQuantities) {
    struct Case {
        std::int32_t delta;
        Bytes bytes;
    };
    const Case cases[] = {{0, {0x00}},
                          {0x7F, {0x7F}},
                          {0x80, {0x81, 0x00}},
                          {0x4000, {0x81, 0x80, 0x00}},
                          {0x200000, {0x81, 0x80, 0x80, 0x00}},
                          {0x0FFFFFFF, {0xFF, 0xFF, 0xFF, 0x7F}}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.delta);
        RecordingSink sink;
        EXPECT_EQ(EventsOf(Write({EndOfTrack(c.delta)})), Concat({c.bytes, {0xFF, 0x2F, 0x00}}));
        EXPECT_THAT(sink.codes(), IsEmpty());
    }
}

// A file carries at most 2^28 - 1 ticks a delta, and this program reads no
// track longer than a delta can hold: the writer holds the times there, and
// says so once for the track.
TEST(EventEncoding, TimesNoFileCanCarryAreHeldWithOneReport) {
    RecordingSink sink;
    const Bytes file = Write({Control(-5, 7, 1), EndOfTrack(0x7FFFFFFF)});
    EXPECT_EQ(EventsOf(file), (Bytes{0x00, 0xB0, 0x07, 0x01, 0xFF, 0xFF, 0xFF, 0x7F, 0xFF, 0x2F, 0x00}));
    EXPECT_THAT(sink.codes(), ElementsAre(kTrackInternalError));

    sink.Clear();
    std::vector<MusicEvent> rests;
    for (int i = 0; i < 9; ++i) rests.push_back(Control(0x0FFFFFFF, 7, i));
    rests.push_back(EndOfTrack(10));
    const Bytes held = Write(std::move(rests));
    EXPECT_THAT(sink.codes(), ElementsAre(kTrackInternalError));
    const auto track = test::ReadTrack(EventsOf(held));
    std::int64_t time = 0;
    for (const MusicEvent& e : track->events) time += e.delta;
    EXPECT_EQ(time, 0x7FFFFFFF);
    EXPECT_THAT(sink.codes(), ElementsAre(kTrackInternalError));  // read back without a word
}

TEST(EventEncoding, MetaEventsByType) {
    struct Case {
        MusicEvent event;
        Bytes bytes;
    };
    MusicEvent timeSignature = Meta(0, kMetaTimeSignature, {0x06, 0x03, 0x18, 0x08});
    MusicEvent endWithOddData = Meta(0, kMetaEndOfTrack, {0x01, 0x02});
    const Case cases[] = {
        {test::Tempo(0, 500000), {0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20}},
        {timeSignature, {0xFF, 0x58, 0x04, 0x06, 0x03, 0x18, 0x08}},
        {Meta(0, 0x01, {'a', 'b', 'c', 0}), {0xFF, 0x01, 0x04, 'a', 'b', 'c', 0x00}},
        {Meta(0, 0x59, {0xFE, 0x01}), {0xFF, 0x59, 0x02, 0xFE, 0x01}},
        {Meta(0, 0x7F, {0x41, 0x00, 0x01}), {0xFF, 0x7F, 0x03, 0x41, 0x00, 0x01}},
        // Kinds whose values the reader does not keep are written with zero bytes.
        {test::ReadTrack({0x00, 0xFF, 0x00, 0x02, 0x12, 0x34})->events[0], {0xFF, 0x00, 0x02, 0x00, 0x00}},
        {test::ReadTrack({0x00, 0xFF, 0x20, 0x01, 0x05})->events[0], {0xFF, 0x20, 0x01, 0x00}},
        {test::ReadTrack({0x00, 0xFF, 0x54, 0x05, 1, 2, 3, 4, 5})->events[0], {0xFF, 0x54, 0x05, 0, 0, 0, 0, 0}},
        {endWithOddData, {0xFF, 0x2F, 0x00}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(test::Describe(c.event));
        RecordingSink sink;
        const MidiTrackData track;
        std::vector<std::uint8_t> out;
        EXPECT_EQ(track.EncodeEvent(c.event, out), static_cast<std::int32_t>(c.bytes.size()));
        EXPECT_EQ(out, c.bytes);
        EXPECT_THAT(sink.codes(), IsEmpty());
    }
    // A text that was cut holds only what was read: its written size follows its length.
    RecordingSink sink;
    const auto cut = test::ReadTrack({0x00, 0xFF, 0x03, 0x09, 'a', 'b'});
    std::vector<std::uint8_t> out;
    cut->EncodeEvent(cut->events[0], out);
    EXPECT_EQ(out, (Bytes{0xFF, 0x03, 0x02, 'a', 'b'}));
}

TEST(EventEncoding, LongTextsUseATwoByteSizeAndWarnOnceBeforeTheFirst) {
    RecordingSink sink;
    const Bytes marker(200, 'm');
    const Bytes name(200, 'i');
    const Bytes file = Write({Meta(0, 0x06, marker), Meta(0, 0x04, name), EndOfTrack(0)});
    EXPECT_EQ(EventsOf(file), Concat({{0x00, 0xFF, 0x06, 0x81, 0x48}, marker, {0x00, 0xFF, 0x04, 0x81, 0x48}, name,
                                      {0x00, 0xFF, 0x2F, 0x00}}));
    EXPECT_THAT(sink.texts(), ElementsAre("サイズが大きすぎるイベントが含まれています。"));
}

TEST(EventEncoding, PressureEventsAreLeftOutWithOneUndefinedEventErrorPerTrackWrittenAndTheirDeltasCarried) {
    RecordingSink sink;
    for (int track = 0; track < 2; ++track) {
        const Bytes file =
            Write({NoteOn(0, 60), test::ChannelEvent(kTypeKeyPressure, 10, kNoChannel),
                   test::ChannelEvent(kTypeChannelPressure, 5, kNoChannel), NoteOff(7, 60), EndOfTrack(0)});
        EXPECT_EQ(EventsOf(file), (Bytes{0x00, 0x90, 0x3C, 0x64, 0x16, 0x80, 0x3C, 0x40, 0x00, 0xFF, 0x2F, 0x00}));
    }
    EXPECT_THAT(sink.codes(), ElementsAre(kTrackUndefinedEvent, kTrackUndefinedEvent));
    EXPECT_THAT(sink.texts(), ::testing::Each(std::string("未定義のMIDIイベントです。")));
}

TEST(EventEncoding, AChannelOutOfRangeIsReportedForEachAndLeftOut) {
    RecordingSink sink;
    const Bytes file = Write({NoteOn(1, 60, 100, 16), Control(2, 7, 1, kNoChannel), Program(3, 1, -1), NoteOn(4, 62),
                              EndOfTrack(0)});
    EXPECT_EQ(EventsOf(file), (Bytes{0x0A, 0x90, 0x3E, 0x64, 0x00, 0xFF, 0x2F, 0x00}));
    EXPECT_THAT(sink.codes(), ElementsAre(kTrackBadChannel, kTrackBadChannel, kTrackBadChannel));
    EXPECT_THAT(sink.texts(), ::testing::Each(std::string("チャネルに誤りがあります。")));
}

TEST(EventEncoding, DataBytesOfDamagedEventsAreClampedToSevenBits) {
    MusicEvent bend = test::ChannelEvent(kTypePitchBend, 0, 1);
    bend.key = 0x80;
    bend.value = -1;
    const Bytes file = Write({NoteOn(0, 200, 300), Control(0, 0x90, 0x100), Program(0, 0x85), bend, EndOfTrack(0)});
    EXPECT_EQ(EventsOf(file), (Bytes{0x00, 0xB0, 0x7F, 0x7F, 0x00, 0xC0, 0x7F, 0x00, 0xE1, 0x7F, 0x00, 0x00, 0x90,
                                     0x7F, 0x7F, 0x00, 0xFF, 0x2F, 0x00}));
}

TEST(ExclusiveEncoding, ConsistentMessagesAreWrittenByteForByteAndDamagedOnesGetAFreshSize) {
    struct Case {
        const char* name;
        Bytes chunk;  // as read from a file
        Bytes written;
    };
    const Case cases[] = {
        {"whole sysex", {0x00, 0xF0, 0x05, 0x7E, 0x7F, 0x09, 0x01, 0xF7}, {0xF0, 0x05, 0x7E, 0x7F, 0x09, 0x01, 0xF7}},
        {"whole escape", {0x00, 0xF7, 0x03, 0x01, 0x02, 0x03}, {0xF7, 0x03, 0x01, 0x02, 0x03}},
        {"sysex without its end", {0x00, 0xF0, 0x05, 0x01, 0x02}, {0xF0, 0x03, 0x01, 0x02, 0xF7}},
        {"sysex with a wrong size", {0x00, 0xF0, 0x01, 0x7E, 0x7F, 0xF7}, {0xF0, 0x03, 0x7E, 0x7F, 0xF7}},
        {"escape cut short", {0x00, 0xF7, 0x0A, 0x01, 0x02}, {0xF7, 0x02, 0x01, 0x02}},
        // The reader takes an escape's size as one byte, so 0x81 here means
        // 129 bytes; other readers would take 0x81 as the start of a longer
        // size, so they go out as 127 bytes and then 2, at the same time.
        {"escape with a size byte above 127", Concat({{0x00, 0xF7, 0x81}, Bytes(129, 0x11)}),
         Concat({{0xF7, 0x7F}, Bytes(127, 0x11), {0x00, 0xF7, 0x02, 0x11, 0x11}})},
        {"sysex under running status",
         {0x00, 0xF0, 0x01, 0xF7, 0x00, 0x05, 0x7E, 0x01, 0x02, 0xF7},
         {0xF0, 0x01, 0xF7, 0x00, 0xF0, 0x04, 0x7E, 0x01, 0x02, 0xF7}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RecordingSink sink;
        auto read = test::ReadTrack(c.chunk);
        std::vector<MusicEvent> events = std::move(read->events);
        events.push_back(EndOfTrack(0));
        sink.Clear();

        const Bytes file = Write(std::move(events));

        EXPECT_EQ(EventsOf(file), Concat({{0x00}, c.written, {0x00, 0xFF, 0x2F, 0x00}}));
        EXPECT_THAT(sink.codes(), IsEmpty());
        // What was written reads back without a complaint.
        MidiTrackData::ResetReaderState();
        test::ReadTrack(Bytes(file.begin() + 22, file.end()));
        EXPECT_THAT(sink.codes(), IsEmpty());
    }
}

// ---- refusals and limits ----

TEST(SmfWriting, ASongNotInEventFormIsNotWritten) {
    for (std::int32_t state : {kStateImage, kStateNoteForm}) {
        SCOPED_TRACE(state);
        RecordingSink sink;
        auto song = SongOf(kStateEventForm, {test::NoteEvent(0, 60, 10), EndOfTrack(0)});
        song->state = state;
        const auto before = test::Fingerprint(*song->track);

        song->WriteSmf();

        EXPECT_EQ(song->state, state);
        EXPECT_EQ(song->size, 0);
        EXPECT_EQ(test::Fingerprint(*song->track), before);
        EXPECT_THAT(sink.texts(), ElementsAre("MidiF0Dataで内部エラーが発生しました。"));
    }
}

TEST(SmfWriting, ATrackWithoutAnEndOfTrackIsRefusedAsNoMidiFileAndNothingIsToBeSaved) {
    for (bool empty : {false, true}) {
        SCOPED_TRACE(empty);
        RecordingSink sink;
        auto song =
            empty ? SongOf(kStateEventForm, {}) : SongOf(kStateEventForm, {NoteOn(0, 60), NoteOff(96, 60)});

        song->WriteSmf();

        EXPECT_FALSE(song->HoldsWrittenFile());
        EXPECT_EQ(song->state, kStateImage);
        EXPECT_EQ(song->track->state, kStateEventForm);
        EXPECT_THAT(sink.codes(), ElementsAre(kTrackNoChunk));
        EXPECT_THAT(sink.texts(), ElementsAre("MIDIファイルではないか、マックバイナリがついているファイルです。"));
    }
    auto whole = SongOf(kStateEventForm, {EndOfTrack(0)});
    whole->WriteSmf();
    EXPECT_TRUE(whole->HoldsWrittenFile());
}

TEST(SmfWriting, AChunkTooLargeForTheImageIsClosedEarlyWithAnEndOfTrack) {
    RecordingSink sink;
    std::vector<MusicEvent> events;
    for (int i = 0; i < 1100; ++i) events.push_back(Meta(1, 0x01, Bytes(250, static_cast<std::uint8_t>('a' + i % 26))));
    events.push_back(EndOfTrack(0));

    const Bytes file = Write(std::move(events));

    ASSERT_LT(file.size(), static_cast<std::size_t>(kImageCapacity));  // reads back without "data too large"
    EXPECT_GT(file.size(), static_cast<std::size_t>(kImageCapacity) - 300);
    EXPECT_EQ(Bytes(file.end() - 4, file.end()), (Bytes{0x00, 0xFF, 0x2F, 0x00}));
    const std::uint32_t length = (std::uint32_t{file[18]} << 24) | (std::uint32_t{file[19]} << 16) |
                                 (std::uint32_t{file[20]} << 8) | file[21];
    EXPECT_EQ(length, file.size() - 22);
    EXPECT_EQ(sink.codes(), (std::vector<std::uint32_t>{kTrackOversizedEvent, kGeneralDataTooLarge}));

    sink.Clear();
    const MidiTrackData reread(static_cast<std::int32_t>(file.size()), 14, file.data());
    EXPECT_TRUE(reread.events.back().IsEndOfTrack());
    EXPECT_EQ(reread.events[1000].data[0], 'a' + 1000 % 26);
    EXPECT_THAT(sink.codes(), IsEmpty());
}

TEST(SmfWriting, ARichTrackReadsBackAsTheListThatWasWritten) {
    RecordingSink sink;
    const Bytes chunk = Concat({{0x00, 0xFF, 0x03, 0x04, 'S', 'o', 'n', 'g'},
                                {0x00, 0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20},
                                {0x00, 0xFF, 0x58, 0x04, 0x03, 0x02, 0x18, 0x08},
                                {0x00, 0xF0, 0x05, 0x7E, 0x7F, 0x09, 0x01, 0xF7},
                                {0x00, 0xC1, 0x05},
                                {0x00, 0x91, 0x3C, 0x40},
                                {0x00, 0x40, 0x40},
                                {0x00, 0xB1, 0x07, 0x64},
                                {0x81, 0x00, 0x91, 0x3C, 0x00},
                                {0x00, 0xE1, 0x00, 0x40},
                                {0x30, 0x81, 0x40, 0x00},
                                {0x00, 0xFF, 0x2F, 0x00}});
    auto song = std::make_unique<MidiF0Data>(kStateNoteForm);
    song->division = 480;
    song->track = test::ReadTrack(chunk);
    song->track->ToNoteForm();
    song->track->ToEventForm();
    song->state = kStateEventForm;

    song->WriteSmf();
    const std::vector<std::string> written = Timeline(*song->track);
    const Bytes file = ImageOf(*song);
    MidiTrackData::ResetReaderState();
    const MidiTrackData reread(static_cast<std::int32_t>(file.size()), 14, file.data());

    EXPECT_EQ(Timeline(reread), written);
    EXPECT_EQ(reread.size + 14, static_cast<std::int32_t>(file.size()));
    EXPECT_THAT(sink.codes(), IsEmpty());
}

// Absolute time and description of every event as a file carries it, sorted,
// so that the writer's reordering of simultaneous events does not count.
std::vector<std::string> AsWritten(const MidiTrackData& track) {
    std::vector<std::string> out;
    std::int64_t time = 0;
    for (const MusicEvent& e : track.events) {
        time += e.delta;
        if (e.type == kTypeKeyPressure || e.type == kTypeChannelPressure) continue;
        MusicEvent at(e);
        at.delta = 0;
        if (at.type == kTypeNoteOff) at.velocity = 0x40;
        if (at.type < kTypeSysEx) {
            for (std::int32_t* field : {&at.key, &at.velocity, &at.subtype, &at.value}) {
                *field = std::clamp(*field, 0, 127);  // as the writer clamps data bytes
            }
        }
        std::string text = test::Describe(at);
        if (at.type == kTypeSysEx || at.type == kTypeEscape) text = text.substr(0, text.find(" len"));
        out.push_back(std::to_string(time) + " " + text);
    }
    std::sort(out.begin(), out.end());
    return out;
}

// Every "MTrk" in the first 262,144 bytes of every corpus file, real chunk or
// not, is read; whatever was read is written, and the written file must read
// back without a complaint.
TEST(CorpusTracks, EveryTrackIsReadToItsEndAndItsRewriteReadsBackCleanly) {
    const std::filesystem::path corpus = test::CorpusDir();
    if (corpus.empty()) GTEST_SKIP() << "the corpus is not there";
    int chunks = 0;
    for (const std::filesystem::path& entry : test::FilesUnder(corpus)) {
        const std::string path = entry.string();
        Bytes file = test::ReadFileBytes(path);
        file.resize(std::min<std::size_t>(file.size(), kImageCapacity));
        for (std::size_t offset = 0; offset + 8 <= file.size(); ++offset) {
            if (std::memcmp(file.data() + offset, "MTrk", 4) != 0) continue;
            SCOPED_TRACE(path + " at " + std::to_string(offset));
            ++chunks;
            MidiTrackData::ResetReaderState();
            RecordingSink sink;
            auto song = std::make_unique<MidiF0Data>(kStateEventForm);
            song->track = std::make_unique<MidiTrackData>(static_cast<std::int32_t>(file.size()),
                                                          static_cast<std::int32_t>(offset), file.data());
            const auto readCodes = sink.codes();
            EXPECT_THAT(readCodes, ::testing::Each(::testing::AnyOf(kTrackInternalError, kTrackUndefinedEvent,
                                                                    kTrackBadTempo, kTrackOversizedEvent)));
            if (song->track->state != kStateEventForm) continue;
            song->track->DropMarked();
            if (song->track->count() <= 3000) {  // the conversions are quadratic; small tracks show enough
                song->track->ToNoteForm();
                song->track->ToEventForm();
            }
            song->track->AppendEndOfTrack(0);
            sink.Clear();

            song->WriteSmf();
            const auto writeCodes = sink.codes();
            const Bytes written = ImageOf(*song);
            sink.Clear();
            MidiTrackData::ResetReaderState();
            const MidiTrackData reread(static_cast<std::int32_t>(written.size()), 14, written.data());

            EXPECT_EQ(reread.size + 14, static_cast<std::int32_t>(written.size()));
            EXPECT_THAT(sink.codes(), ::testing::Each(kTrackOversizedEvent));
            const auto has = [](const std::vector<std::uint32_t>& codes, std::uint32_t code) {
                return std::find(codes.begin(), codes.end(), code) != codes.end();
            };
            const bool cleanRead = !has(readCodes, kTrackInternalError);
            const bool whole = !has(writeCodes, kGeneralDataTooLarge);
            if (cleanRead && whole) {
                EXPECT_EQ(AsWritten(reread), AsWritten(*song->track));
            }
        }
    }
    EXPECT_GT(chunks, 100);
}

}  // namespace
}  // namespace solvane
