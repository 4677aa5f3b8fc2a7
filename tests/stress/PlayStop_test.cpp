// The play protocol under load: a thousand rounds of the dialog's Play/Stop
// toggle, loads and exit attempts at random moments (fixed seed), on the real
// thread timer and a recording output. Only the sleeps are shortened (a 100 ms
// poll takes 1 ms, Stop's closing second 10 ms); timer events come at their
// real times. Meant for ThreadSanitizer and LeakSanitizer: after every round
// nothing is left running, and every play's output was reset and closed once.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "platform/ThreadTimer.h"
#include "playback/MusicPlayer.h"
#include "song/MidiFileLoader.h"
#include "support/General.h"
#include "tests/support/Eventually.h"
#include "tests/support/RecordingMidiOut.h"
#include "tests/support/RecordingSink.h"
#include "tests/support/SmfBuilder.h"

namespace solvane {
namespace {

using test::Bytes;
using test::Concat;
using test::Eventually;
using test::Format0;
using test::NoteBytes;
using test::TempFile;
using ::testing::IsEmpty;

// The thread timer with every sleep a hundredth as long (at least 1 ms).
class ShortSleepTimer : public ThreadTimer {
public:
    void Sleep(std::uint32_t milliseconds) override { ThreadTimer::Sleep(Shortened(milliseconds)); }
    void SleepUnless(std::uint32_t milliseconds, const std::function<bool()>& stopAsked) override {
        ThreadTimer::SleepUnless(Shortened(milliseconds), stopAsked);
    }

private:
    static std::uint32_t Shortened(std::uint32_t milliseconds) {
        return milliseconds == 0 ? 0 : std::max<std::uint32_t>(1, milliseconds / 100);
    }
};

// What one play's output went through.
struct PlayLog {
    int resets = 0;
    int closes = 0;
    int sentAfterReset = 0;
    std::vector<int> keys;  // of the note-ons sent
};

// One log for each opening of the output, in the order of the openings.
std::vector<PlayLog> PlayLogs(const test::RecordingMidiOut& out) {
    const std::vector<test::Sent> sent = out.sent();
    std::vector<PlayLog> logs(static_cast<std::size_t>(out.opens()));
    for (const test::Sent& s : sent) {
        PlayLog& log = logs[static_cast<std::size_t>(s.opening)];
        if (s.kind == test::Sent::kReset) {
            ++log.resets;
        } else if (s.kind == test::Sent::kClose) {
            ++log.closes;
        } else {
            if (log.resets > 0) ++log.sentAfterReset;
            if (s.kind == test::Sent::kShort && (s.bytes[0] & 0xF0) == 0x90 && s.bytes[2] != 0) {
                log.keys.push_back(s.bytes[1]);
            }
        }
    }
    return logs;
}

// The dialog's rule, without a window: g_playing is set by Play, cleared by
// Stop and, on the worker, by the end of a play; Exit is refused while it is set.
std::atomic<int> g_playing{0};

int OnPlayFinished() {
    g_playing = 0;
    return 0;
}

struct Dialog {
    std::unique_ptr<MidiFileLoader> loader;
    bool horizontal = false;
    bool vertical = false;
    int refusedExits = 0;
    bool loadedLow = false;         // the loaded piece has low keys
    std::vector<bool> playedLow;    // for each play started, whether its piece had low keys

    void OnLoad(const std::string& path, bool low) {
        loadedLow = low;
        loader.reset();
        loader = std::make_unique<MidiFileLoader>(path);
        if (loader->size == 0) {
            loader.reset();
            return;
        }
        loader->BuildSong();
    }

    // Returns true when it started a play, false when it stopped one.
    bool OnPlay() {
        if (g_playing == 1) {
            Stop();
            g_playing = 0;
            return false;
        }
        g_playing = 1;
        MidiF0Data copy(*loader->song);
        copy.ToEventForm();
        if (horizontal) copy.ReverseHorizontal();
        if (vertical) copy.ReverseVertical();
        copy.ToNoteForm();
        Play(copy, OnPlayFinished);
        playedLow.push_back(loadedLow);
        return true;
    }

    bool OnExit() {
        if (g_playing == 1) {
            ++refusedExits;
            return false;
        }
        return true;
    }
};

// Pieces start at key 40 or 90: even inverted in pitch, the first kind stays
// below key 60 and the second above it, so a trace tells which piece played.
constexpr int kLow = 40;
constexpr int kHigh = 90;
constexpr int kBetween = 60;

// A piece of about 50 ms at 240 quarters a minute (a tick is 2.6 ms): a few
// events before the first note, then short notes, all with keys from first.
Bytes ShortPiece(int first) {
    Bytes body = {0x00, 0xC0, 0x05, 0x00, 0xB0, 0x07, 0x64};
    for (int i = 0; i < 6; ++i) body = Concat({body, NoteBytes(0, first + i, 3)});
    return Format0(body);
}

// A piece with a rest of five seconds in it, so a Stop often has to force the end.
Bytes PieceWithARest(int first) {
    return Format0(Concat({{0x00, 0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20},  // 120 a minute: 1920 ticks are 5 s
                           NoteBytes(0, first, 4), NoteBytes(0, first + 1, 4), {0x87, 0x40, 0xB0, 0x40, 0x00},
                           NoteBytes(0, first + 2, 4)}));
}

bool Settled() { return musicPlayer.idle == 1 && musicPlayer.liveWorkers == 0 && musicPlayer.player == nullptr; }

class PlayStopStress : public ::testing::Test {
protected:
    void SetUp() override {
        InstallTimer(&timer);
        MidiControler::reportNoDevice = true;
        g_playing = 0;
    }
    void TearDown() override {
        musicPlayer.Shutdown();
        EXPECT_TRUE(Eventually(Settled));
        InstallTimer(nullptr);
    }

    // After a round: nothing runs, and every play so far had its output reset
    // and closed exactly once, with nothing sent after the reset.
    // Each play sounded only the keys of the piece it was started with.
    void ExpectSettled(int round, const Dialog& dialog) {
        ASSERT_TRUE(Eventually(Settled, std::chrono::seconds(10))) << "round " << round << " left a play running";
        EXPECT_EQ(g_playing, 0) << "round " << round;
        const std::vector<PlayLog> logs = PlayLogs(out);
        ASSERT_EQ(logs.size(), dialog.playedLow.size()) << "round " << round;
        for (std::size_t play = checkedPlays; play < logs.size(); ++play) {
            EXPECT_EQ(logs[play].resets, 1) << "round " << round << ", play " << play;
            EXPECT_EQ(logs[play].closes, 1) << "round " << round << ", play " << play;
            EXPECT_EQ(logs[play].sentAfterReset, 0) << "round " << round << ", play " << play;
            for (int key : logs[play].keys) {
                EXPECT_EQ(key < kBetween, dialog.playedLow[play]) << "round " << round << " played key " << key;
            }
        }
        checkedPlays = logs.size();
    }

    ShortSleepTimer timer;
    test::RecordingMidiOut out;
    test::RecordingSink sink;
    std::size_t checkedPlays = 0;
};

TEST_F(PlayStopStress, AThousandRoundsOfPlayStopLoadAndExitLeaveNothingRunning) {
    constexpr int kRounds = 1000;
    TempFile shortLow(ShortPiece(kLow), "short-low.mid");
    TempFile shortHigh(ShortPiece(kHigh), "short-high.mid");
    TempFile longLow(PieceWithARest(kLow), "long-low.mid");
    TempFile longHigh(PieceWithARest(kHigh), "long-high.mid");
    std::mt19937 random(20261208);
    auto chance = [&random](int percent) { return static_cast<int>(random() % 100) < percent; };
    auto pause = [&random](unsigned maxMilliseconds) {
        std::this_thread::sleep_for(std::chrono::microseconds(random() % (1000 * maxMilliseconds + 1)));
    };

    Dialog dialog;
    int stops = 0;
    int loadsWhilePlaying = 0;
    int playsWhileEnding = 0;
    int exitsAllowed = 0;
    for (int round = 0; round < kRounds; ++round) {
        const bool low = chance(50);
        const bool shortPiece = chance(40);
        dialog.OnLoad((shortPiece ? (low ? shortLow : shortHigh) : (low ? longLow : longHigh)).path(), low);
        ASSERT_NE(dialog.loader, nullptr);
        dialog.horizontal = chance(50);
        dialog.vertical = chance(50);

        ASSERT_TRUE(dialog.OnPlay());
        pause(8);
        if (chance(30)) {
            // Load while playing: the play goes on with the piece it started with.
            dialog.OnLoad((low ? shortHigh : shortLow).path(), !low);
            ++loadsWhilePlaying;
        }
        if (chance(30)) {
            dialog.OnExit();  // refused while the play runs
        }
        if (shortPiece && chance(50)) {
            // Play pressed again as soon as the button allows, while the
            // previous play may still be ending.
            ASSERT_TRUE(Eventually([] { return g_playing == 0; })) << "round " << round;
            ASSERT_TRUE(dialog.OnPlay());
            ++playsWhileEnding;
            pause(4);
        }
        // The button, pressed until it says Play again; a play that ended in
        // the meantime makes a press start another one.
        while (g_playing == 1) {
            if (!dialog.OnPlay()) ++stops;
        }
        if (dialog.OnExit()) ++exitsAllowed;
        ExpectSettled(round, dialog);
        if (HasFailure()) break;
    }
    EXPECT_EQ(exitsAllowed, kRounds);
    EXPECT_GT(stops, kRounds / 4);
    EXPECT_GT(loadsWhilePlaying, kRounds / 5);
    EXPECT_GT(playsWhileEnding, kRounds / 10);
    EXPECT_GT(dialog.refusedExits, 0);
    EXPECT_THAT(sink.codes(), IsEmpty());
    RecordProperty("plays", static_cast<int>(dialog.playedLow.size()));
    RecordProperty("stops", stops);
    RecordProperty("loadsWhilePlaying", loadsWhilePlaying);
    RecordProperty("playsWhileEnding", playsWhileEnding);
}

// Play over a play that does not end (it rests for five seconds and nobody
// stops it): the new play asks the old one to stop after 50 polls, gives up
// on it after 100 with the "performance" report and starts anyway, while the
// old worker may still be winding down. Both plays end cleanly, each output
// reset and closed once, and the old worker does not mark the new one idle.
TEST_F(PlayStopStress, PlayOverAPlayThatDoesNotEndGivesUpOnItAndBothEndCleanly) {
    constexpr int kRounds = 50;
    TempFile piece(PieceWithARest(kLow), "long-low.mid");
    Dialog dialog;
    dialog.OnLoad(piece.path(), true);
    ASSERT_NE(dialog.loader, nullptr);
    for (int round = 0; round < kRounds; ++round) {
        Play(*dialog.loader->song, OnPlayFinished);
        dialog.playedLow.push_back(true);
        // In the rest: both notes were sent and the next event is seconds away.
        ASSERT_TRUE(Eventually([this] {
            const std::vector<PlayLog> logs = PlayLogs(out);
            return !logs.empty() && logs.back().keys.size() == 2;
        })) << "round " << round;

        Play(*dialog.loader->song, OnPlayFinished);
        dialog.playedLow.push_back(true);
        EXPECT_EQ(musicPlayer.idle, 0) << "round " << round;  // the new play runs
        Stop();
        ExpectSettled(round, dialog);
        if (HasFailure()) break;
    }
    const std::vector<std::uint32_t> performance(kRounds, kGeneralPerformance);
    EXPECT_EQ(sink.codes(), performance);
}

}  // namespace
}  // namespace solvane
