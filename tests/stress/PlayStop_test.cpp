// The play protocol under load: a thousand rounds of the dialog's Play/Stop
// toggle, loads and exit attempts at random moments (fixed seed), on the real
// thread timer and the trace output. Only the sleeps are shortened (a 100 ms
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
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "platform/MidiOutDevice.h"
#include "platform/OneShotTimer.h"
#include "platform/ThreadTimer.h"
#include "platform/TraceMidiOut.h"
#include "playback/MusicPlayer.h"
#include "song/MidiFileLoader.h"
#include "support/General.h"
#include "tests/support/RecordingSink.h"
#include "tests/support/SmfBuilder.h"

namespace solvane {
namespace {

using Clock = std::chrono::steady_clock;
using test::Bytes;
using test::Concat;
using test::SmfBuilder;
using test::TempFile;
using test::VarLen;
using ::testing::IsEmpty;

// The thread timer with every sleep shortened by a factor of 100 (at least 1 ms).
class ShortSleepTimer : public OneShotTimer {
public:
    std::uint32_t MinPeriod() const override { return timer_.MinPeriod(); }
    std::uint32_t MaxPeriod() const override { return timer_.MaxPeriod(); }
    void BeginPeriod(std::uint32_t milliseconds) override { timer_.BeginPeriod(milliseconds); }
    void EndPeriod(std::uint32_t milliseconds) override { timer_.EndPeriod(milliseconds); }
    std::uint32_t SetEventAt(Clock::time_point due, std::uint32_t resolution, Callback callback) override {
        return timer_.SetEventAt(due, resolution, std::move(callback));
    }
    bool KillEvent(std::uint32_t id) override { return timer_.KillEvent(id); }
    Clock::time_point Now() const override { return timer_.Now(); }
    void Sleep(std::uint32_t milliseconds) override { timer_.Sleep(Shortened(milliseconds)); }
    void SleepUnless(std::uint32_t milliseconds, const std::function<bool()>& stopAsked) override {
        timer_.SleepUnless(Shortened(milliseconds), stopAsked);
    }

private:
    static std::uint32_t Shortened(std::uint32_t milliseconds) {
        return milliseconds == 0 ? 0 : std::max<std::uint32_t>(1, milliseconds / 100);
    }

    ThreadTimer timer_;
};

// What one play's output went through.
struct PlayLog {
    int resets = 0;
    int closes = 0;
    int sentAfterReset = 0;
    std::vector<int> keys;  // of the note-ons sent
};

// The trace output, with each opened handle's life counted.
class CountingOut : public MidiOutDevice {
public:
    explicit CountingOut(const std::string& path) : trace_(path) {}

    int DeviceCount() override { return trace_.DeviceCount(); }
    std::unique_ptr<MidiOutHandle> Open(int id) override {
        std::unique_ptr<MidiOutHandle> inner = trace_.Open(id);
        if (!inner) return nullptr;
        std::lock_guard lock(mutex_);
        logs_.emplace_back();
        return std::make_unique<Handle>(*this, logs_.size() - 1, std::move(inner));
    }
    void Beep(std::uint32_t, std::uint32_t) override {}

    std::vector<PlayLog> logs() const {
        std::lock_guard lock(mutex_);
        return logs_;
    }

private:
    class Handle : public MidiOutHandle {
    public:
        Handle(CountingOut& out, std::size_t play, std::unique_ptr<MidiOutHandle> inner)
            : out_(out), play_(play), inner_(std::move(inner)) {}
        bool ShortMessage(std::uint32_t packed) override {
            NoteEvent([packed](PlayLog& log) {
                if ((packed & 0xF0) == 0x90 && ((packed >> 16) & 0x7F) != 0) {
                    log.keys.push_back(static_cast<int>((packed >> 8) & 0x7F));
                }
            });
            return inner_->ShortMessage(packed);
        }
        LongResult LongMessage(const std::uint8_t* bytes, std::size_t length) override {
            NoteEvent([](PlayLog&) {});
            return inner_->LongMessage(bytes, length);
        }
        bool Reset() override {
            std::lock_guard lock(out_.mutex_);
            ++out_.logs_[play_].resets;
            return inner_->Reset();
        }
        bool Close() override {
            std::lock_guard lock(out_.mutex_);
            ++out_.logs_[play_].closes;
            return inner_->Close();
        }

    private:
        template <typename F>
        void NoteEvent(F f) {
            std::lock_guard lock(out_.mutex_);
            PlayLog& log = out_.logs_[play_];
            if (log.resets > 0) ++log.sentAfterReset;
            f(log);
        }
        CountingOut& out_;
        std::size_t play_;
        std::unique_ptr<MidiOutHandle> inner_;
    };

    TraceMidiOut trace_;
    mutable std::mutex mutex_;
    std::vector<PlayLog> logs_;
};

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

Bytes NoteEvent(int key, std::uint32_t length) {
    return Concat({{0x00, 0x90, static_cast<std::uint8_t>(key), 100}, VarLen(length),
                   {0x80, static_cast<std::uint8_t>(key), 0}});
}

// Pieces start at key 40 or 90: even inverted in pitch, the first kind stays
// below key 60 and the second above it, so a trace tells which piece played.
constexpr int kLow = 40;
constexpr int kHigh = 90;
constexpr int kBetween = 60;

// A piece of about 50 ms at 240 quarters a minute (a tick is 2.6 ms): a few
// events before the first note, then short notes, all with keys from first.
Bytes ShortPiece(int first) {
    Bytes body = {0x00, 0xC0, 0x05, 0x00, 0xB0, 0x07, 0x64};
    for (int i = 0; i < 6; ++i) body = Concat({body, NoteEvent(first + i, 3)});
    return SmfBuilder().Header(0, 1, 96).Track(Concat({body, {0x00, 0xFF, 0x2F, 0x00}})).Bytes();
}

// A piece with a rest of five seconds in it, so a Stop often has to force the end.
Bytes PieceWithARest(int first) {
    Bytes body = Concat({NoteEvent(first, 4), NoteEvent(first + 1, 4), {0x87, 0x40, 0xB0, 0x40, 0x00}, NoteEvent(first + 2, 4)});
    body = Concat({{0x00, 0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20}, body});  // 120 a minute: 1920 ticks are 5 s
    return SmfBuilder().Header(0, 1, 96).Track(Concat({body, {0x00, 0xFF, 0x2F, 0x00}})).Bytes();
}

template <typename Predicate>
bool Within(std::chrono::milliseconds limit, Predicate done) {
    const auto deadline = Clock::now() + limit;
    while (!done()) {
        if (Clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    return true;
}

bool Settled() { return musicPlayer.idle == 1 && musicPlayer.liveWorkers == 0 && musicPlayer.player == nullptr; }

class PlayStopStress : public ::testing::Test {
protected:
    void SetUp() override {
        InstallTimer(&timer);
        InstallMidiOutDevice(&out);
        MidiControler::reportNoDevice = true;
        g_playing = 0;
    }
    void TearDown() override {
        musicPlayer.Shutdown();
        EXPECT_TRUE(Within(std::chrono::seconds(5), Settled));
        InstallMidiOutDevice(nullptr);
        InstallTimer(nullptr);
    }

    // After a round: nothing runs, and every play so far had its output reset
    // and closed exactly once, with nothing sent after the reset.
    // Each play sounded only the keys of the piece it was started with.
    void ExpectSettled(int round, const Dialog& dialog) {
        ASSERT_TRUE(Within(std::chrono::seconds(10), Settled)) << "round " << round << " left a play running";
        EXPECT_EQ(g_playing, 0) << "round " << round;
        const std::vector<PlayLog> logs = out.logs();
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
    TempFile traceFile{"trace.txt"};
    CountingOut out{traceFile.path()};
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
            ASSERT_TRUE(Within(std::chrono::seconds(5), [] { return g_playing == 0; })) << "round " << round;
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
        ASSERT_TRUE(Within(std::chrono::seconds(5), [this] {
            const std::vector<PlayLog> logs = out.logs();
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
