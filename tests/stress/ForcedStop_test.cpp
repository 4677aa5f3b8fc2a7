// A forced end (Stop after its 21 polls) can come while a timer callback is
// in the middle of sending. The worker then sees the play over, but the
// callback still walks the song copy: the copy must outlive the callback.
// Here the callback is held inside the output's send while Stop forces the
// end, and let go once the worker has had every chance to release things.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <future>
#include <mutex>
#include <thread>

#include "platform/MidiOutDevice.h"
#include "playback/MusicPlayer.h"
#include "tests/support/ManualTimer.h"
#include "tests/support/RecordingSink.h"
#include "track/MusicEvent.h"

namespace solvane {
namespace {

using Clock = std::chrono::steady_clock;

template <typename Predicate>
bool Within(std::chrono::milliseconds limit, Predicate done) {
    const auto deadline = Clock::now() + limit;
    while (!done()) {
        if (Clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

// An output whose note-ons wait at a gate while it is closed. On the way out
// of the gate it notes whether the song copy was gone by then: the copy holds
// a long text, whose destruction is reported.
class GatedOut : public MidiOutDevice {
public:
    explicit GatedOut(const test::RecordingSink& sink) : sink_(sink) { InstallMidiOutDevice(this); }
    ~GatedOut() override { InstallMidiOutDevice(nullptr); }

    int DeviceCount() override { return 1; }
    std::unique_ptr<MidiOutHandle> Open(int) override { return std::make_unique<Handle>(*this); }
    void Beep(std::uint32_t, std::uint32_t) override {}

    void Close() {
        std::lock_guard lock(mutex_);
        closed_ = true;
    }
    void Open() {
        {
            std::lock_guard lock(mutex_);
            closed_ = false;
        }
        changed_.notify_all();
    }

    std::atomic<int> waiting{0};
    std::atomic<int> copiesGoneWhenResumed{-1};
    std::atomic<int> resets{0};

private:
    class Handle : public MidiOutHandle {
    public:
        explicit Handle(GatedOut& out) : out_(out) {}
        bool ShortMessage(std::uint32_t packed) override {
            if ((packed & 0xF0) == 0x90) out_.Pass();
            return true;
        }
        LongResult LongMessage(const std::uint8_t*, std::size_t) override { return LongResult::kSent; }
        bool Reset() override {
            ++out_.resets;
            return true;
        }
        bool Close() override { return true; }

    private:
        GatedOut& out_;
    };

    void Pass() {
        std::unique_lock lock(mutex_);
        if (!closed_) return;
        ++waiting;
        changed_.wait(lock, [this] { return !closed_; });
        const std::vector<std::uint32_t> codes = sink_.codes();
        copiesGoneWhenResumed = static_cast<int>(std::count(codes.begin(), codes.end(), kEventDataTooLarge));
    }

    const test::RecordingSink& sink_;
    std::mutex mutex_;
    std::condition_variable changed_;
    bool closed_ = false;
};

MusicEvent NoteEvent(std::int32_t delta, std::int32_t key, std::int32_t duration) {
    MusicEvent e(delta);
    e.type = kTypeNote;
    e.channel = 0;
    e.key = key;
    e.velocity = 100;
    e.duration = duration;
    e.length = 3;
    return e;
}

TEST(ForcedStop, TheSongCopyOutlivesACallbackThatIsStillSending) {
    test::RecordingSink sink;
    test::ManualTimer timer;
    GatedOut out(sink);
    MidiControler::reportNoDevice = true;

    MidiF0Data song(kStateNoteForm);
    song.division = 96;
    MusicEvent text(0);  // more than 256 bytes: each copy that goes is reported
    text.type = kTypeMeta;
    text.subtype = 0x01;
    text.data = std::vector<std::uint8_t>(300, 't');
    text.length = 300;
    song.track->Append(text);
    song.track->Append(NoteEvent(0, 60, 96));
    song.track->Append(NoteEvent(96, 62, 96));
    MusicEvent end(96);
    end.type = kTypeMeta;
    end.subtype = kMetaEndOfTrack;
    song.track->Append(end);

    Play(song, nullptr);
    ASSERT_TRUE(Within(std::chrono::seconds(5), [&] {
        return musicPlayer.player.load() != nullptr && !timer.pending().empty();
    }));
    const std::vector<std::uint32_t> before = sink.codes();
    const auto copiesGoneBefore = static_cast<int>(std::count(before.begin(), before.end(), kEventDataTooLarge));

    // The first callback stops inside the send of its note-on.
    out.Close();
    auto callback = std::async(std::launch::async, [&timer] { timer.FireNext(); });
    ASSERT_TRUE(Within(std::chrono::seconds(5), [&] { return out.waiting == 1; }));

    // Stop's polls pass at once here: after 21 of them it forces the end.
    EXPECT_EQ(Stop(), 1);
    // Give the worker time to do whatever it does once the play is over: it
    // ends up waiting for the running callback before the sequencer goes.
    Within(std::chrono::milliseconds(500), [&] { return !timer.killed().empty(); });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    out.Open();
    callback.get();

    ASSERT_TRUE(Within(std::chrono::seconds(5), [] { return musicPlayer.liveWorkers.load() == 0; }));
    EXPECT_EQ(out.copiesGoneWhenResumed, copiesGoneBefore)
        << "the play's song copy was destroyed under a running callback";
    EXPECT_EQ(out.resets, 1);
    EXPECT_EQ(musicPlayer.idle, 1);
    musicPlayer.Shutdown();
}

}  // namespace
}  // namespace solvane
