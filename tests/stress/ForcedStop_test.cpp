// A forced end (Stop after its 21 polls) can come while a timer callback is
// in the middle of sending. The worker then sees the play over, but the
// callback still walks the song copy: the copy must outlive the callback.
// Here the callback is held inside the output's send while Stop forces the
// end, and let go once the worker has had every chance to release things.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <future>
#include <thread>
#include <vector>

#include "playback/MusicPlayer.h"
#include "tests/support/Eventually.h"
#include "tests/support/ManualTimer.h"
#include "tests/support/RecordingMidiOut.h"
#include "tests/support/RecordingSink.h"
#include "tests/support/SongProbe.h"
#include "track/MusicEvent.h"

namespace solvane {
namespace {

using test::Count;
using test::Eventually;

TEST(ForcedStop, TheSongCopyOutlivesACallbackThatIsStillSending) {
    test::RecordingSink sink;
    test::ManualTimer timer;
    test::RecordingMidiOut out;
    MidiControler::reportNoDevice = true;

    // More than 256 bytes of text: each copy of the song that goes is reported.
    auto song = test::SongOf(kStateNoteForm, {test::Meta(0, 0x01, std::vector<std::uint8_t>(300, 't')),
                                              test::NoteEvent(0, 60, 96), test::NoteEvent(96, 62, 96),
                                              test::EndOfTrack(96)});
    const auto copiesGone = [&sink] {
        const std::vector<std::uint32_t> codes = sink.codes();
        return std::count(codes.begin(), codes.end(), kEventDataTooLarge);
    };

    Play(*song, nullptr);
    ASSERT_TRUE(Eventually([&] { return musicPlayer.player.load() != nullptr && !timer.pending().empty(); }));
    const auto copiesGoneBefore = copiesGone();

    // The first callback stops inside the send of its note-on.
    out.CloseGate();
    auto callback = std::async(std::launch::async, [&timer] { timer.FireNext(); });
    ASSERT_TRUE(Eventually([&] { return out.waitingAtGate() == 1; }));

    // Stop's polls pass at once here: after 21 of them it forces the end.
    EXPECT_EQ(Stop(), 1);
    // Give the worker time to do whatever it does once the play is over: it
    // ends up waiting for the running callback before the sequencer goes.
    Eventually([&] { return !timer.killed().empty(); }, std::chrono::milliseconds(500));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    // The callback is still held in its send, so the copy it walks must still be there.
    EXPECT_EQ(copiesGone(), copiesGoneBefore) << "the play's song copy was destroyed under a running callback";
    out.OpenGate();
    callback.get();

    ASSERT_TRUE(Eventually([] { return musicPlayer.liveWorkers.load() == 0; }));
    EXPECT_EQ(Count(out.lines(), "RESET"), 1);
    EXPECT_EQ(musicPlayer.idle, 1);
    musicPlayer.Shutdown();
}

}  // namespace
}  // namespace solvane
