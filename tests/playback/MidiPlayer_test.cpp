#include "playback/MidiPlayer.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <thread>

#include "support/General.h"
#include "tests/support/ManualTimer.h"
#include "tests/support/RecordingMidiOut.h"
#include "tests/support/RecordingSink.h"
#include "tests/support/SongProbe.h"

namespace solvane {
namespace {

using std::chrono::milliseconds;
using ::testing::ElementsAre;
using ::testing::IsEmpty;
using test::EndOfTrack;
using test::NoteOff;
using test::NoteOn;
using test::SongOf;
using test::Tempo;

class MidiPlayerTest : public ::testing::Test {
protected:
    void SetUp() override { MidiControler::reportNoDevice = true; }

    // Time of each recorded message, in milliseconds after the output was opened.
    std::vector<long> Times() const {
        std::vector<long> times;
        for (const test::Sent& s : out.sent()) times.push_back(static_cast<long>(s.at.count()));
        return times;
    }

    test::ManualTimer timer;
    test::RecordingMidiOut out;
    test::RecordingSink sink;
};

TEST_F(MidiPlayerTest, PreRollSendsEverythingBeforeTheFirstNoteAtOnceThenWaits) {
    auto song = SongOf(kStateEventForm, {test::Program(0, 5), test::Control(0, 7, 100), test::Control(0, 10, 64),
                                         Tempo(0, 500000), NoteOn(0, 60), NoteOff(48, 60), EndOfTrack()});
    MidiPlayer player(song.get(), kDefaultDevice);
    EXPECT_THAT(out.lines(), ElementsAre("F0 7E 7F 09 01 F7", "C0 05 00", "B0 07 64", "B0 0A 40"));
    EXPECT_EQ(timer.SleepCount(std::this_thread::get_id(), 120), 1);  // 30 ms for each of the four
    EXPECT_EQ(player.tempo, 120);
    EXPECT_EQ(player.period, 5u);
    EXPECT_THAT(timer.periodsBegun(), ElementsAre(5u));
    ASSERT_EQ(timer.pending().size(), 1u);
    EXPECT_EQ(timer.pending()[0].due - timer.start, milliseconds(5));
    EXPECT_EQ(timer.pending()[0].resolution, 1u);  // the first event asks for the finest resolution

    ASSERT_TRUE(timer.FireNext());  // the note-on, 5 ms after the timer started
    ASSERT_TRUE(timer.FireNext());  // 48 ticks at 120 = 250 ms later, the note-off and the end
    EXPECT_FALSE(timer.FireNext());
    EXPECT_THAT(out.lines(), ElementsAre("F0 7E 7F 09 01 F7", "C0 05 00", "B0 07 64", "B0 0A 40", "90 3C 64",
                                         "80 3C 00"));
    EXPECT_THAT(Times(), ElementsAre(0, 0, 0, 0, 5, 255));
    EXPECT_EQ(timer.armed()[1].resolution, 5u);  // later events ask for the period
    EXPECT_EQ(player.playing, 0);
    EXPECT_THAT(sink.codes(), IsEmpty());
}

TEST_F(MidiPlayerTest, PublishesHowManyEventsItHasSentAndMinusOneOnceReleased) {
    auto song = SongOf(kStateEventForm, {test::Program(0, 5), NoteOn(0, 60), NoteOn(0, 64), NoteOff(48, 60),
                                         NoteOff(0, 64), EndOfTrack()});
    std::atomic<std::int32_t> sent{99};
    {
        MidiPlayer player(song.get(), kDefaultDevice, {}, nullptr, nullptr, &sent);
        EXPECT_EQ(sent.load(), 1);  // the pre-roll's program change
        ASSERT_TRUE(timer.FireNext());
        EXPECT_EQ(sent.load(), 3);  // both note-ons in one timer event
        ASSERT_TRUE(timer.FireNext());
        EXPECT_EQ(sent.load(), 6);
    }
    EXPECT_EQ(sent.load(), -1);
}

TEST_F(MidiPlayerTest, WithoutATempoEventTheSongPlaysAt240) {
    auto song = SongOf(kStateEventForm, {NoteOn(0, 60), NoteOff(96, 60), EndOfTrack()});
    MidiPlayer player(song.get(), kDefaultDevice);
    EXPECT_EQ(timer.SleepCount(std::this_thread::get_id(), 0), 1);  // nothing before the first note
    EXPECT_EQ(player.period, 2u);
    timer.FireAll();
    EXPECT_THAT(Times(), ElementsAre(0, 2, 252));  // 96 ticks at 240 wait 250 ms
}

TEST_F(MidiPlayerTest, AChordGoesOutInOneCallbackInListOrder) {
    auto song = SongOf(kStateEventForm, {NoteOn(0, 60), NoteOn(0, 64), NoteOn(0, 67), NoteOff(96, 67),
                                         NoteOff(0, 64), NoteOff(0, 60), EndOfTrack()});
    MidiPlayer player(song.get(), kDefaultDevice);
    EXPECT_EQ(timer.FireAll(), 2);
    EXPECT_THAT(out.lines(), ElementsAre("F0 7E 7F 09 01 F7", "90 3C 64", "90 40 64", "90 43 64", "80 43 00",
                                         "80 40 00", "80 3C 00"));
    EXPECT_THAT(Times(), ElementsAre(0, 2, 2, 2, 252, 252, 252));
}

TEST_F(MidiPlayerTest, ATempoEventChangesTheWaitAfterIt) {
    // 96 ticks at 240 = 250 ms; then at 120 (500000 us) = 500 ms; 461538 us gives 130 (461 ms a quarter).
    auto song = SongOf(kStateEventForm, {NoteOn(0, 60), NoteOff(96, 60), Tempo(0, 500000), NoteOn(0, 62),
                                         NoteOff(96, 62), Tempo(0, 461538), NoteOn(0, 64), NoteOff(96, 64),
                                         EndOfTrack()});
    MidiPlayer player(song.get(), kDefaultDevice);
    timer.FireAll();
    EXPECT_THAT(Times(), ElementsAre(0, 2, 252, 252, 752, 752, 752 + 461));
    EXPECT_EQ(player.tempo, 130);
}

TEST_F(MidiPlayerTest, EachWaitIsTruncatedOnItsOwn) {
    // At 240 a tick is 2.604 ms: three one-tick waits are 2 ms each, not 7 ms together.
    auto song = SongOf(kStateEventForm, {NoteOn(0, 60), NoteOff(1, 60), NoteOn(1, 62), NoteOff(1, 62), EndOfTrack()});
    MidiPlayer player(song.get(), kDefaultDevice);
    timer.FireAll();
    EXPECT_THAT(Times(), ElementsAre(0, 2, 4, 6, 8));
}

TEST_F(MidiPlayerTest, TooSlowAndTooFastTemposFallBackTo60) {
    auto song = SongOf(kStateEventForm, {NoteOn(0, 60), Tempo(0, 2001000), NoteOff(96, 60), Tempo(0, 999),
                                         NoteOn(0, 62), NoteOff(96, 62), Tempo(0, 2000000), EndOfTrack()});
    MidiPlayer player(song.get(), kDefaultDevice);
    timer.FireAll();
    EXPECT_THAT(sink.codes(), ElementsAre(kPlayerTempoTooSlow, kGeneralFallback));
    EXPECT_THAT(sink.texts(), ElementsAre("設定されているテンポが遅すぎます。", "Generalでエラーが発生しました。"));
    // 96 ticks at 60 are a second.
    EXPECT_THAT(Times(), ElementsAre(0, 2, 1002, 1002, 2002));
    EXPECT_EQ(player.tempo, 30);  // 2,000,000 us is 30 a minute: accepted
}

TEST_F(MidiPlayerTest, AStopRequestEndsThePlayAtTheNextCallback) {
    auto song = SongOf(kStateEventForm, {NoteOn(0, 60), NoteOff(96, 60), NoteOn(0, 62), NoteOff(96, 62), EndOfTrack()});
    MidiPlayer player(song.get(), kDefaultDevice);
    timer.FireNext();
    player.stopRequested = 1;
    EXPECT_TRUE(timer.FireNext());
    EXPECT_TRUE(timer.pending().empty());
    EXPECT_EQ(player.playing, 0);
    EXPECT_THAT(out.lines(), ElementsAre("F0 7E 7F 09 01 F7", "90 3C 64"));
}

TEST_F(MidiPlayerTest, ASongWithoutNotesIsSentInThePreRollAndEndsAtTheFirstCallback) {
    auto song = SongOf(kStateEventForm, {test::Control(0, 7, 90), test::Control(48, 10, 30), EndOfTrack(10)});
    MidiPlayer player(song.get(), kDefaultDevice);
    EXPECT_THAT(out.lines(), ElementsAre("F0 7E 7F 09 01 F7", "B0 07 5A", "B0 0A 1E"));
    EXPECT_EQ(timer.SleepCount(std::this_thread::get_id(), 90), 1);
    EXPECT_EQ(player.playing, 1);
    EXPECT_TRUE(timer.FireNext());
    EXPECT_EQ(player.playing, 0);
    EXPECT_FALSE(timer.FireNext());
}

TEST_F(MidiPlayerTest, ASongNotInEventFormIsRefused) {
    auto song = SongOf(kStateNoteForm, {test::NoteEvent(0, 60, 96), EndOfTrack()});
    MidiPlayer player(song.get(), kDefaultDevice);
    EXPECT_EQ(player.device, nullptr);
    EXPECT_EQ(player.playing, 0);
    EXPECT_EQ(out.opens(), 0);
    EXPECT_THAT(sink.codes(), ElementsAre(kPlayerInternalError));
    EXPECT_THAT(sink.texts(), ElementsAre("MidiPlayerで内部エラーが起きました。"));
}

TEST_F(MidiPlayerTest, NoOutputMeansNothingPlays) {
    out.deviceCount = 0;
    auto song = SongOf(kStateEventForm, {NoteOn(0, 60), NoteOff(96, 60), EndOfTrack()});
    MidiPlayer player(song.get(), kDefaultDevice);
    EXPECT_EQ(player.device, nullptr);
    EXPECT_EQ(player.playing, 0);
    EXPECT_TRUE(timer.armed().empty());
    EXPECT_THAT(sink.codes(), ElementsAre(kControlerOpenFailed));
}

TEST_F(MidiPlayerTest, APeriodFinerThanTheTimerStallsWithAReport) {
    timer.minPeriod = 3;  // 240 a minute at 96 ticks gives 2 ms
    auto song = SongOf(kStateEventForm, {NoteOn(0, 60), NoteOff(96, 60), EndOfTrack()});
    MidiPlayer player(song.get(), kDefaultDevice);
    EXPECT_THAT(sink.codes(), ElementsAre(kPlayerResolutionTooFine));
    EXPECT_EQ(player.playing, 1);  // silent until stopped
    EXPECT_TRUE(timer.armed().empty());
}

TEST_F(MidiPlayerTest, ATimerThatCannotBeSetIsReported) {
    timer.refuseEvents = true;
    auto song = SongOf(kStateEventForm, {NoteOn(0, 60), NoteOff(96, 60), EndOfTrack()});
    MidiPlayer player(song.get(), kDefaultDevice);
    EXPECT_THAT(sink.codes(), ElementsAre(kPlayerNoTimer));
    EXPECT_EQ(player.playing, 1);
}

TEST_F(MidiPlayerTest, ARefusedRearmEndsThePlayInsteadOfHangingSilent) {
    auto song = SongOf(kStateEventForm, {NoteOn(0, 60), NoteOff(96, 60), EndOfTrack()});
    MidiPlayer player(song.get(), kDefaultDevice);
    timer.refuseEvents = true;
    timer.FireNext();
    EXPECT_EQ(player.playing, 0);
    EXPECT_THAT(sink.codes(), ElementsAre(kPlayerNoTimer));
}

TEST_F(MidiPlayerTest, TimerLatencyDoesNotAccumulate) {
    auto song = SongOf(kStateEventForm, {NoteOn(0, 60), NoteOff(96, 60), NoteOn(0, 62), NoteOff(96, 62), EndOfTrack()});
    MidiPlayer player(song.get(), kDefaultDevice);
    timer.Advance(milliseconds(9));  // the first callback runs 7 ms late
    timer.FireNext();
    ASSERT_EQ(timer.pending().size(), 1u);
    EXPECT_EQ(timer.pending()[0].due - timer.start, milliseconds(252));  // still 250 ms after it was due
}

TEST_F(MidiPlayerTest, AfterALongStallPlayingGoesOnFromNow) {
    auto song = SongOf(kStateEventForm, {NoteOn(0, 60), NoteOff(96, 60), NoteOn(0, 62), NoteOff(96, 62), EndOfTrack()});
    MidiPlayer player(song.get(), kDefaultDevice);
    timer.Advance(milliseconds(3002));  // held up for three seconds
    timer.FireNext();
    ASSERT_EQ(timer.pending().size(), 1u);
    EXPECT_EQ(timer.pending()[0].due - timer.start, milliseconds(3002 + 250));
}

TEST_F(MidiPlayerTest, ReleaseCancelsThePendingEventThenResetsAndClosesTheOutput) {
    auto song = SongOf(kStateEventForm, {NoteOn(0, 60), NoteOff(960, 60), EndOfTrack()});
    {
        MidiPlayer player(song.get(), kDefaultDevice);
        timer.FireNext();
        ASSERT_EQ(timer.pending().size(), 1u);
    }
    EXPECT_TRUE(timer.pending().empty());
    EXPECT_THAT(timer.periodsEnded(), ElementsAre(2u));
    EXPECT_THAT(out.lines(), ElementsAre("F0 7E 7F 09 01 F7", "90 3C 64", "RESET", "CLOSE"));
}

TEST(TempoToBpm, WholeMillisecondsPerQuarter) {
    EXPECT_EQ(TempoToBpm(500000), 120);
    EXPECT_EQ(TempoToBpm(461538), 130);
    EXPECT_EQ(TempoToBpm(2000000), 30);
    EXPECT_EQ(TempoToBpm(2001000), 29);
}

}  // namespace
}  // namespace solvane
