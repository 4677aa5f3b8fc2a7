// The play protocol between the user-interface thread (the test), the
// worker thread and the timer callbacks (fired by the test).

#include "playback/MusicPlayer.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <future>
#include <thread>

#include "support/General.h"
#include "tests/support/Eventually.h"
#include "tests/support/ManualTimer.h"
#include "tests/support/RecordingMidiOut.h"
#include "tests/support/RecordingSink.h"
#include "tests/support/RefusingThreadStarter.h"
#include "tests/support/SongProbe.h"

namespace solvane {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using test::Count;
using test::EndOfTrack;
using test::Eventually;
using test::NoteEvent;
using test::SongOf;

std::atomic<int> g_finished{0};
std::atomic<int> g_linesAtFinish{-1};
test::RecordingMidiOut* g_out = nullptr;

int CountFinished() {
    g_linesAtFinish = static_cast<int>(g_out->lines().size());
    ++g_finished;
    return 0;
}

class MusicPlayerTest : public ::testing::Test {
protected:
    void SetUp() override {
        MidiControler::reportNoDevice = true;
        g_finished = 0;
        g_linesAtFinish = -1;
        g_out = &out;
    }
    void TearDown() override {
        // Leave no worker behind for the next test.
        musicPlayer.Shutdown();
        EXPECT_TRUE(Eventually([] { return musicPlayer.liveWorkers.load() == 0; }));
        musicPlayer.beforeIdleMark = nullptr;
        g_out = nullptr;
    }

    // A loaded song: note form at division 480.
    static std::unique_ptr<MidiF0Data> Loaded(std::vector<MusicEvent> events) {
        return SongOf(kStateNoteForm, std::move(events), 480);
    }

    bool WorkerWaitsForTheTimer() {
        return Eventually([this] { return musicPlayer.player.load() != nullptr && !timer.pending().empty(); });
    }

    test::ManualTimer timer;
    test::RecordingMidiOut out;
    test::RecordingSink sink;
};

TEST_F(MusicPlayerTest, APlayThatEndsByItselfTellsTheDialogThenResetsTheOutput) {
    auto song = Loaded({NoteEvent(0, 60, 480), EndOfTrack(480)});
    Play(*song, CountFinished);
    ASSERT_TRUE(WorkerWaitsForTheTimer());
    timer.FireAll();
    ASSERT_TRUE(Eventually([] { return musicPlayer.idle.load() == 1; }));
    EXPECT_EQ(g_finished, 1);
    EXPECT_THAT(out.lines(), ElementsAre("F0 7E 7F 09 01 F7", "90 3C 64", "80 3C 00", "RESET", "CLOSE"));
    EXPECT_EQ(g_linesAtFinish, 3);  // the callback ran before the output was reset
    EXPECT_EQ(musicPlayer.player.load(), nullptr);
    EXPECT_THAT(sink.codes(), IsEmpty());
}

TEST_F(MusicPlayerTest, ThePlayedCopyRunsAtDivision96AndTheLoadedSongStaysAsItWas) {
    // At 480 ticks a quarter the timer period would be 0 ms and nothing could
    // play; the copy is rescaled to 96, so a tick is 2 ms and a quarter 250 ms.
    auto song = Loaded({test::Program(0, 4), NoteEvent(4000, 64, 480), EndOfTrack()});
    Play(*song, nullptr);
    ASSERT_TRUE(WorkerWaitsForTheTimer());
    timer.FireAll();
    ASSERT_TRUE(Eventually([] { return musicPlayer.idle.load() == 1; }));
    EXPECT_THAT(out.lines(), ElementsAre("F0 7E 7F 09 01 F7", "C0 04 00", "90 40 64", "80 40 00", "RESET", "CLOSE"));
    const std::vector<test::Sent> sent = out.sent();
    EXPECT_EQ(sent[2].at.count(), 2);  // the first note comes one period after the timer starts
    EXPECT_EQ(sent[3].at.count(), 252);
    EXPECT_THAT(sink.codes(), IsEmpty());
    EXPECT_EQ(song->division, 480);
    EXPECT_EQ(song->state, kStateNoteForm);
    EXPECT_EQ(song->track->events[1].delta, 4000);
    EXPECT_EQ(song->track->events[1].duration, 480);
}

TEST_F(MusicPlayerTest, StopDuringATenSecondRestForcesTheEndAfter21Waits) {
    // 3840 ticks at 96 and 240 a minute: ten seconds between the notes.
    auto song = Loaded({NoteEvent(0, 60, 100), NoteEvent(19200, 62, 100), EndOfTrack()});
    Play(*song, CountFinished);
    ASSERT_TRUE(WorkerWaitsForTheTimer());
    timer.FireNext();  // the first note; the next callback is ten seconds away
    ASSERT_EQ(timer.pending().size(), 1u);
    const std::uint32_t rest = timer.pending()[0].id;

    EXPECT_EQ(Stop(), 1);
    const auto ui = std::this_thread::get_id();
    EXPECT_EQ(timer.SleepCount(ui, 100), 21);
    EXPECT_EQ(timer.SleepCount(ui, 1000), 1);
    ASSERT_TRUE(Eventually([] { return musicPlayer.idle.load() == 1; }));
    EXPECT_TRUE(timer.pending().empty());
    EXPECT_THAT(timer.killed(), ::testing::Contains(rest));
    EXPECT_EQ(g_finished, 0);  // stopped, not finished
    const auto lines = out.lines();
    EXPECT_EQ(Count(lines, "RESET"), 1);
    EXPECT_EQ(Count(lines, "CLOSE"), 1);
    EXPECT_EQ(Count(lines, "90 3E 64"), 0);
}

TEST_F(MusicPlayerTest, StopWhileTheNextEventIsNearEndsAtThatCallback) {
    auto song = Loaded({NoteEvent(0, 60, 100), NoteEvent(480, 62, 100), EndOfTrack()});
    Play(*song, CountFinished);
    ASSERT_TRUE(WorkerWaitsForTheTimer());
    timer.FireNext();
    timer.CloseGate(100);  // every poll waits until the test has fired the next callback
    auto stop = std::async(std::launch::async, [] { return Stop(); });
    ASSERT_TRUE(Eventually([] {
        bool asked = false;
        musicPlayer.WithPlayer([&](MidiPlayer& p) { asked = p.stopRequested == 1; });
        return asked;
    }));
    const std::size_t armedBefore = timer.armed().size();
    ASSERT_TRUE(timer.FireNext());  // the callback sees the request: sends nothing, arms nothing
    EXPECT_EQ(timer.armed().size(), armedBefore);
    timer.OpenGate(100);
    EXPECT_EQ(stop.get(), 1);
    ASSERT_TRUE(Eventually([] { return musicPlayer.idle.load() == 1; }));
    EXPECT_EQ(g_finished, 0);
    EXPECT_THAT(out.lines(), ElementsAre("F0 7E 7F 09 01 F7", "90 3C 64", "RESET", "CLOSE"));
}

// Stop during the pre-roll's pause (30 ms for each event before the first
// note): the pause ends at the request, nothing more is sent, the output is
// reset and closed, and Stop's own wait takes a single 100 ms poll, however
// long the pause was to last.
struct PreRollStop {
    const char* name;
    int setUp;      // controllers before the first note
    bool withNote;  // without one, the End of Track is sent in the pre-roll too
    friend void PrintTo(const PreRollStop& c, std::ostream* os) { *os << c.name; }
};

class StopDuringThePreRoll : public MusicPlayerTest, public ::testing::WithParamInterface<PreRollStop> {};

TEST_P(StopDuringThePreRoll, EndsThePauseAndTheWaitAtOnce) {
    const PreRollStop c = GetParam();
    std::vector<MusicEvent> events(static_cast<std::size_t>(c.setUp), test::Control(0, 7, 100));
    if (c.withNote) events.push_back(NoteEvent(0, 60, 480));
    events.push_back(EndOfTrack());
    const int sentBefore = c.setUp + (c.withNote ? 0 : 1);
    const auto pause = static_cast<std::uint32_t>(30 * sentBefore);
    timer.CloseGate(pause);  // the pause lasts until the test opens it
    timer.CloseGate(100);    // and so does each of Stop's polls
    std::future<int> stop;
    std::atomic<std::thread::id> stopThread{};
    struct OpenGates {  // also when an assertion fails, before Stop is waited for
        test::ManualTimer& timer;
        std::uint32_t pause;
        ~OpenGates() {
            timer.OpenGate(pause);
            timer.OpenGate(100);
        }
    } openAtEnd{timer, pause};

    Play(*Loaded(std::move(events)), CountFinished);
    ASSERT_TRUE(Eventually([&] { return timer.waitingAtGate(pause) == 1; }));
    stop = std::async(std::launch::async, [&] {
        stopThread = std::this_thread::get_id();
        return Stop();
    });
    // The worker ends the play while Stop is still in its first poll.
    ASSERT_TRUE(Eventually([] { return musicPlayer.idle.load() == 1 && musicPlayer.liveWorkers.load() == 0; }));
    EXPECT_EQ(timer.sleepsCutShort(), 1);
    ASSERT_TRUE(Eventually([&] { return timer.waitingAtGate(100) == 1; }));
    timer.OpenGate(100);
    EXPECT_EQ(stop.get(), 1);
    EXPECT_EQ(timer.SleepCount(stopThread, 100), 1);
    EXPECT_EQ(timer.SleepCount(stopThread, 1000), 1);

    EXPECT_TRUE(timer.armed().empty());  // no timer was started
    EXPECT_TRUE(timer.periodsBegun().empty());
    EXPECT_EQ(g_finished, 0);
    const auto lines = out.lines();
    EXPECT_EQ(Count(lines, "B0 07 64"), c.setUp);  // what the pre-roll sent stays sent
    EXPECT_EQ(Count(lines, "90 3C 64"), 0);
    EXPECT_EQ(Count(lines, "RESET"), 1);
    EXPECT_EQ(Count(lines, "CLOSE"), 1);
    EXPECT_EQ(lines.back(), "CLOSE");
}

INSTANTIATE_TEST_SUITE_P(MusicPlayerTest, StopDuringThePreRoll,
                         ::testing::Values(PreRollStop{"FourSetUpEvents", 4, true},
                                           PreRollStop{"AThousandSetUpEvents", 1000, true},
                                           PreRollStop{"NoNoteAtAll", 1000, false}),
                         [](const ::testing::TestParamInfo<PreRollStop>& info) { return info.param.name; });

TEST_F(MusicPlayerTest, PlayOverAPlayInItsPreRollAsksItToStopAfter50Waits) {
    // A minute of pre-roll: without the request reaching it, the new play
    // would give up on it after 100 waits and run beside it.
    std::vector<MusicEvent> events(2000, test::Control(0, 7, 100));
    events.push_back(NoteEvent(0, 60, 480));
    events.push_back(EndOfTrack());
    auto song = Loaded(std::move(events));
    timer.CloseGate(60000);
    timer.CloseGate(100);
    std::future<void> again;
    struct OpenGates {
        test::ManualTimer& timer;
        ~OpenGates() {
            timer.OpenGate(60000);
            timer.OpenGate(100);
        }
    } openAtEnd{timer};

    Play(*song, CountFinished);
    ASSERT_TRUE(Eventually([this] { return timer.waitingAtGate(60000) == 1; }));
    again = std::async(std::launch::async, [&song] { Play(*song, CountFinished); });
    for (int wait = 1; wait <= 50; ++wait) {
        ASSERT_TRUE(Eventually([this] { return timer.waitingAtGate(100) == 1; })) << "wait " << wait;
        EXPECT_EQ(timer.sleepsCutShort(), 0) << "wait " << wait;
        timer.PassOne(100);
    }
    ASSERT_TRUE(Eventually([] { return musicPlayer.liveWorkers.load() == 0; }));  // the old play ended
    EXPECT_EQ(timer.sleepsCutShort(), 1);
    timer.OpenGate(100);
    again.get();
    ASSERT_TRUE(Eventually([this] { return timer.waitingAtGate(60000) == 1; }));  // the new play's pre-roll
    EXPECT_EQ(musicPlayer.idle, 0);
    EXPECT_EQ(musicPlayer.liveWorkers, 1);
    EXPECT_THAT(sink.codes(), IsEmpty());  // not given up on
    EXPECT_EQ(g_finished, 0);
    const auto lines = out.lines();
    const auto firstClose = std::find(lines.begin(), lines.end(), "CLOSE");
    ASSERT_NE(firstClose, lines.end());
    EXPECT_EQ(std::count(lines.begin(), firstClose, "90 3C 64"), 0);  // the old play never reached its note
    EXPECT_EQ(out.opens(), 2);
    EXPECT_EQ(std::count(firstClose + 1, lines.end(), "CLOSE"), 0);  // the new one plays on
}

TEST_F(MusicPlayerTest, PlayAgainRightAfterAnEndWaitsForTheOldWorker) {
    auto song = Loaded({NoteEvent(0, 60, 96), EndOfTrack()});
    timer.CloseGate(100);  // the old worker stays in its poll until the test lets it go
    Play(*song, CountFinished);
    ASSERT_TRUE(WorkerWaitsForTheTimer());
    ASSERT_TRUE(Eventually([this] { return timer.waitingAtGate(100) == 1; }));
    timer.FireAll();
    auto again = std::async(std::launch::async, [&song] { Play(*song, CountFinished); });
    ASSERT_TRUE(Eventually([this] { return timer.waitingAtGate(100) == 2; }));  // the new play waits too
    EXPECT_EQ(out.opens(), 1);
    // The old worker's poll ends first and it finishes; only then does the
    // new play's, so that it does not run through its polls at once and ask
    // the old play to stop before that worker has had its turn.
    timer.PassOne(100);
    ASSERT_TRUE(Eventually([] { return musicPlayer.idle.load() == 1 && g_finished.load() == 1; }));
    timer.OpenGate(100);
    again.get();
    ASSERT_TRUE(WorkerWaitsForTheTimer());
    timer.FireAll();
    ASSERT_TRUE(Eventually([] { return musicPlayer.idle.load() == 1 && musicPlayer.liveWorkers.load() == 0; }));
    EXPECT_EQ(out.opens(), 2);
    EXPECT_EQ(g_finished, 2);
    EXPECT_EQ(Count(out.lines(), "RESET"), 2);
    EXPECT_EQ(Count(out.lines(), "CLOSE"), 2);
}

TEST_F(MusicPlayerTest, ANewPlayClaimingTheRecordAsTheOldWorkerMarksItIdleStaysBusy) {
    // The old worker has found its play still the current one and is about
    // to mark the record idle. Right then a new play, whose polls pass at
    // once, runs through them, gives up on the old worker, claims the record
    // and starts playing. The claim must come wholly before the look or after
    // the mark: were the new play marked idle, Stop would leave it playing.
    auto song = Loaded({NoteEvent(0, 60, 96), EndOfTrack()});
    std::future<void> again;
    std::atomic<bool> forced{false};
    musicPlayer.beforeIdleMark = [&] {
        if (forced.exchange(true)) return;
        again = std::async(std::launch::async, [&song] { Play(*song, CountFinished); });
        // Unhindered, the new play is under way within microseconds; held
        // off until the mark is made, it cannot get there.
        for (int i = 0; i < 300 && musicPlayer.player.load() == nullptr; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    };
    const std::uint64_t first = musicPlayer.generation.load() + 1;
    Play(*song, CountFinished);
    ASSERT_TRUE(WorkerWaitsForTheTimer());
    timer.FireAll();  // the old play ends by itself
    ASSERT_TRUE(Eventually([&] { return forced.load() && musicPlayer.generation.load() == first + 1; }));
    ASSERT_TRUE(WorkerWaitsForTheTimer());
    ASSERT_TRUE(Eventually([] { return musicPlayer.liveWorkers.load() == 1; }));  // the old worker is done
    EXPECT_EQ(musicPlayer.idle, 0) << "the new play was marked idle";
    EXPECT_EQ(Stop(), 1);
    ASSERT_TRUE(Eventually([] { return musicPlayer.idle.load() == 1 && musicPlayer.liveWorkers.load() == 0; }));
    again.get();
    EXPECT_EQ(g_finished, 1);  // the old play's end; the new one was stopped
    EXPECT_EQ(Count(out.lines(), "RESET"), 2);
    EXPECT_EQ(Count(out.lines(), "CLOSE"), 2);
}

// A thread that cannot be started is reported (General code 4), the record
// is left as it was (nothing playing, or the play given up on the current
// one again), the end callback brings the window back to Play, and the next
// Play plays.
class NoThreadForTheWorker : public MusicPlayerTest, public ::testing::WithParamInterface<bool> {};

TEST_P(NoThreadForTheWorker, IsReportedAndLeavesTheRecordAsItWas) {
    const bool overAGivenUpPlay = GetParam();
    std::vector<std::uint32_t> reports{kGeneralPerformance};
    if (overAGivenUpPlay) {
        // Ten seconds between its notes, and nobody fires the second.
        auto stuck = Loaded({NoteEvent(0, 60, 100), NoteEvent(19200, 62, 100), EndOfTrack()});
        Play(*stuck, CountFinished);
        ASSERT_TRUE(WorkerWaitsForTheTimer());
        timer.FireNext();
        reports.insert(reports.begin(), kGeneralPerformance);  // given up on first
    }
    const std::uint64_t generation = musicPlayer.generation.load();
    auto song = Loaded({NoteEvent(0, 64, 96), EndOfTrack()});
    {
        test::RefusingThreadStarter noThreads;
        Play(*song, CountFinished);
        EXPECT_EQ(noThreads.refused, 1);
    }
    EXPECT_EQ(sink.codes(), reports);
    EXPECT_EQ(g_finished, 1);  // at once, on this thread
    EXPECT_EQ(musicPlayer.generation, generation);
    ASSERT_TRUE(Eventually([] { return musicPlayer.idle.load() == 1 && musicPlayer.liveWorkers.load() == 0; }));
    EXPECT_EQ(Count(out.lines(), "RESET"), overAGivenUpPlay ? 1 : 0);

    Play(*song, CountFinished);
    ASSERT_TRUE(WorkerWaitsForTheTimer());
    EXPECT_EQ(musicPlayer.idle, 0);
    timer.FireAll();
    ASSERT_TRUE(Eventually([] { return musicPlayer.idle.load() == 1 && musicPlayer.liveWorkers.load() == 0; }));
    EXPECT_EQ(g_finished, 2);
    EXPECT_EQ(Count(out.lines(), "90 40 64"), 1);
}

INSTANTIATE_TEST_SUITE_P(MusicPlayerTest, NoThreadForTheWorker, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& info) {
                             return info.param ? "OverAGivenUpPlay" : "NothingPlaying";
                         });

TEST_F(MusicPlayerTest, WithoutAnOutputThePlayEndsAtOnceAndReportsOncePerRun) {
    out.deviceCount = 0;
    auto song = Loaded({NoteEvent(0, 60, 96), EndOfTrack()});
    for (int play = 1; play <= 2; ++play) {
        Play(*song, CountFinished);
        ASSERT_TRUE(Eventually([play] { return g_finished.load() == play && musicPlayer.idle.load() == 1; }));
    }
    EXPECT_THAT(sink.codes(), ElementsAre(kControlerOpenFailed));
    EXPECT_TRUE(timer.armed().empty());
    EXPECT_EQ(Stop(), 1);  // a Stop after a failed start does not wait for a sequencer
}

TEST_F(MusicPlayerTest, ASequencerGivenTheWrongFormIsReportedTwice) {
    auto song = SongOf(kStateNoteForm, {NoteEvent(0, 60, 96), EndOfTrack()});
    std::unique_ptr<MidiPlayer> owned;
    EXPECT_EQ(musicPlayer.Start(song.get(), owned), 0);
    EXPECT_EQ(owned, nullptr);
    EXPECT_THAT(sink.codes(), ElementsAre(kMusicPlayerInternalError, kPlayerInternalError));
}

TEST_F(MusicPlayerTest, ShutdownEndsARunningPlayAndResetsItsOutput) {
    auto song = Loaded({NoteEvent(0, 60, 96000), EndOfTrack()});
    Play(*song, CountFinished);
    ASSERT_TRUE(WorkerWaitsForTheTimer());
    timer.FireNext();
    musicPlayer.Shutdown();
    EXPECT_EQ(musicPlayer.liveWorkers, 0);
    EXPECT_EQ(Count(out.lines(), "RESET"), 1);
    EXPECT_EQ(Count(out.lines(), "CLOSE"), 1);
}

}  // namespace
}  // namespace solvane
