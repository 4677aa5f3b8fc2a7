// The list operations of a track: appending, removing, exchanging, inserting and copying.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/RecordingSink.h"
#include "tests/support/TrackFixtures.h"
#include "track/MidiTrackData.h"

namespace solvane {
namespace {

using test::Bytes;
using test::Control;
using test::EndOfTrack;
using test::NoteOn;
using test::RecordingSink;
using test::Timeline;
using test::TrackOf;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

std::unique_ptr<MidiTrackData> ThreeControls() {
    return TrackOf(kStateEventForm, {Control(1, 1, 0), Control(2, 2, 0), Control(4, 3, 0)});
}

TEST(TrackList, AppendKeepsTheOrderGiven) {
    MidiTrackData track;
    EXPECT_TRUE(track.Append(Control(1, 7, 100)));
    EXPECT_TRUE(track.Append(NoteOn(2, 60)));
    EXPECT_THAT(Timeline(track), ElementsAre("1 cc c0 7=100", "2 on c0 k60 v100"));
    EXPECT_EQ(track.state, kStateEmpty);  // list operations leave the state alone
}

TEST(TrackList, AFullListRefusesTheNextEventOnceAndKeepsWhatItHolds) {
    RecordingSink sink;
    MidiTrackData track(kStateEventForm);
    for (std::int32_t i = 0; i < kTrackCapacity; ++i) ASSERT_TRUE(track.Append(Control(i, 7, i % 128)));
    EXPECT_THAT(sink.codes(), IsEmpty());

    EXPECT_FALSE(track.Append(NoteOn(0, 60)));

    EXPECT_THAT(sink.texts(), ElementsAre("データの量が多すぎます。"));
    EXPECT_EQ(track.count(), kTrackCapacity);
    EXPECT_EQ(track.events.front().delta, 0);
    EXPECT_EQ(track.events.back().delta, kTrackCapacity - 1);
}

TEST(TrackList, AppendEndOfTrackAddsOneUnlessTheLastEventIsOne) {
    MidiTrackData track;
    track.AppendEndOfTrack(5);
    ASSERT_THAT(Timeline(track), ElementsAre("5 eot"));
    EXPECT_EQ(track.events[0].length, 3);
    EXPECT_EQ(track.events[0].data, (Bytes{0xFF, 0x2F, 0x00}));

    track.AppendEndOfTrack(9);
    EXPECT_THAT(Timeline(track), ElementsAre("5 eot"));

    track.Append(Control(1, 7, 1));
    track.AppendEndOfTrack(9);
    EXPECT_THAT(Timeline(track), ElementsAre("5 eot", "1 cc c0 7=1", "9 eot"));
}

TEST(TrackList, RemoveAtPassesTheDeltaOnSoNoOtherEventMoves) {
    auto track = ThreeControls();
    EXPECT_EQ(track->RemoveAt(1), 2);
    EXPECT_THAT(Timeline(*track), ElementsAre("1 cc c0 1=0", "6 cc c0 3=0"));

    EXPECT_EQ(track->RemoveAt(1), 1);  // the last one takes its delta with it
    EXPECT_THAT(Timeline(*track), ElementsAre("1 cc c0 1=0"));
}

TEST(TrackList, RemoveAtOutsideTheListReportsAndChangesNothing) {
    RecordingSink sink;
    auto track = ThreeControls();
    EXPECT_EQ(track->RemoveAt(-1), 3);
    EXPECT_EQ(track->RemoveAt(3), 3);
    EXPECT_THAT(sink.codes(), ElementsAre(kTrackInternalError, kTrackInternalError));
    EXPECT_THAT(Timeline(*track), ElementsAre("1 cc c0 1=0", "2 cc c0 2=0", "4 cc c0 3=0"));
}

TEST(TrackList, ClearEmptiesTheListButKeepsTheState) {
    auto track = ThreeControls();
    track->Clear();
    EXPECT_EQ(track->count(), 0);
    EXPECT_EQ(track->state, kStateEventForm);
}

TEST(TrackList, KeepLastEndOfTrackRemovesTheOthersAndKeepsTimes) {
    auto track = TrackOf(kStateNoteForm, {EndOfTrack(1), test::NoteEvent(2, 60, 10), EndOfTrack(4), EndOfTrack(8)});
    track->KeepLastEndOfTrack();
    EXPECT_THAT(Timeline(*track), ElementsAre("3 note c0 k60 d10", "12 eot"));

    auto single = TrackOf(kStateNoteForm, {EndOfTrack(3)});
    single->KeepLastEndOfTrack();
    EXPECT_THAT(Timeline(*single), ElementsAre("3 eot"));

    auto inside = TrackOf(kStateNoteForm, {Control(1, 1, 1), EndOfTrack(2), Control(3, 2, 2)});
    inside->KeepLastEndOfTrack();
    EXPECT_THAT(Timeline(*inside), ElementsAre("1 cc c0 1=1", "5 cc c0 2=2"));
}

TEST(TrackList, ExchangeEventsLeavesEachSlotItsDelta) {
    auto track = ThreeControls();
    track->ExchangeEvents(0, 2);
    EXPECT_THAT(Timeline(*track), ElementsAre("1 cc c0 3=0", "2 cc c0 2=0", "4 cc c0 1=0"));
    track->ExchangeEvents(1, 1);
    EXPECT_THAT(Timeline(*track), ElementsAre("1 cc c0 3=0", "2 cc c0 2=0", "4 cc c0 1=0"));
}

TEST(TrackList, SwapEventsMovesTheDeltasWithTheEvents) {
    auto track = ThreeControls();
    track->SwapEvents(0, 2);
    EXPECT_THAT(Timeline(*track), ElementsAre("4 cc c0 3=0", "2 cc c0 2=0", "1 cc c0 1=0"));
}

TEST(TrackList, ExchangeAndSwapOutsideTheListReportAndChangeNothing) {
    RecordingSink sink;
    auto track = ThreeControls();
    track->ExchangeEvents(0, 3);
    track->SwapEvents(-1, 1);
    EXPECT_THAT(sink.codes(), ElementsAre(kTrackInternalError, kTrackInternalError));
    EXPECT_THAT(Timeline(*track), ElementsAre("1 cc c0 1=0", "2 cc c0 2=0", "4 cc c0 3=0"));
}

TEST(TrackList, InsertEventGoesBeforeWithMode2AndAfterOtherwise) {
    RecordingSink sink;
    auto track = ThreeControls();
    track->InsertEvent(1, 2, NoteOn(0, 60));
    track->InsertEvent(1, 1, NoteOn(0, 61));
    track->InsertEvent(-1, 1, NoteOn(0, 62));  // after "before the first": the very front
    track->InsertEvent(5, 1, NoteOn(0, 63));
    EXPECT_THAT(Timeline(*track), ElementsAre("0 on c0 k62 v100", "1 cc c0 1=0", "0 on c0 k60 v100", "0 on c0 k61 v100",
                                              "2 cc c0 2=0", "4 cc c0 3=0", "0 on c0 k63 v100"));
    EXPECT_THAT(sink.codes(), IsEmpty());

    track->InsertEvent(7, 1, NoteOn(0, 64));
    track->InsertEvent(-1, 2, NoteOn(0, 65));
    EXPECT_THAT(sink.codes(), ElementsAre(kTrackInternalError, kTrackInternalError));
    EXPECT_EQ(track->count(), 7);
}

TEST(TrackList, ACopyOfANoteFormTrackIsDeep) {
    RecordingSink sink;
    auto source = TrackOf(kStateNoteForm, {test::NoteEvent(0, 60, 96)});
    source->Append(test::Meta(0, 0x01, Bytes(300, 't')));
    source->AppendEndOfTrack(96);
    source->MutableBytes()[0] = 'M';
    source->size = 1;
    {
        MidiTrackData copy(*source);
        EXPECT_EQ(copy.state, kStateNoteForm);
        EXPECT_EQ(copy.size, 0);  // the chunk bytes are not copied
        EXPECT_EQ(test::Fingerprint(copy), test::Fingerprint(*source));
        copy.events[0].key = 61;
        copy.events[1].data[0] = 'u';
        EXPECT_EQ(source->events[0].key, 60);
        EXPECT_EQ(source->events[1].data[0], 't');
    }
    EXPECT_THAT(sink.codes(), ElementsAre(kEventDataTooLarge));  // the copy's own long text
}

TEST(TrackList, CopyingATrackThatIsNotInNoteFormCopiesNothing) {
    for (std::int32_t state : {kStateEmpty, kStateImage, kStateEventForm}) {
        SCOPED_TRACE(state);
        RecordingSink sink;
        const auto source = TrackOf(state, {NoteOn(0, 60), EndOfTrack(0)});
        const MidiTrackData copy(*source);
        EXPECT_EQ(copy.count(), 0);
        EXPECT_NE(copy.state, kStateNoteForm);
        EXPECT_THAT(sink.codes(), ElementsAre(kTrackInternalError));
    }
}

}  // namespace
}  // namespace solvane
