// The render against the play: the walk's messages at the walk's times, each
// note sounding from its time within one synthesizer block, the same bytes on
// every render, and a cancel or failure that leaves no file behind.

#include "platform/AudioRender.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <fluidsynth.h>
#include <sndfile.h>

#include <cstdlib>
#include <filesystem>

#include "platform/FluidSynthEngine.h"
#include "platform/FluidSynthOut.h"
#include "tests/support/SongProbe.h"

namespace solvane {
namespace {

using test::Bytes;
using test::TempFile;
using ::testing::ElementsAre;
using Kind = TimedMessage::Kind;

constexpr std::uint64_t kSynthBlock = 64;  // FluidSynth applies events between blocks of this many frames

// A piano note on channel 0 about every two seconds, on ticks that are no
// whole number of milliseconds at 120 quarter notes a minute.
std::unique_ptr<MidiF0Data> SpacedNotes() {
    using namespace test;
    return SongOf(kStateNoteForm, {Program(0, 0), Tempo(0, 500000), NoteEvent(0, 60, 12), NoteEvent(389, 64, 12),
                                   NoteEvent(385, 67, 12), NoteEvent(391, 72, 12), EndOfTrack(400)});
}

std::vector<std::int16_t> Samples(const Bytes& wav) {
    std::vector<std::int16_t> samples;
    for (std::size_t at = 44; at + 1 < wav.size(); at += 2) {
        samples.push_back(static_cast<std::int16_t>(wav[at] | wav[at + 1] << 8));
    }
    return samples;
}

// The first frame that is not silent.
std::uint64_t FirstSound(const std::vector<std::int16_t>& samples, std::uint64_t from) {
    for (std::uint64_t frame = from; 2 * frame + 1 < samples.size(); ++frame) {
        if (samples[2 * frame] != 0 || samples[2 * frame + 1] != 0) return frame;
    }
    return UINT64_MAX;
}

class AudioRenderTest : public ::testing::Test {
protected:
    void SetUp() override {
        soundFont = FluidSynthOut::FindSoundFont();
        if (soundFont.empty()) GTEST_SKIP() << "no General MIDI soundfont installed";
    }
    std::string soundFont;
};

TEST(WalkMessages, AreThePlaysMessagesAtThePlaysTimes) {
    const std::vector<TimedMessage> messages = WalkMessages(*SpacedNotes());
    std::vector<std::int64_t> ms;
    std::vector<std::uint32_t> shorts;
    for (const TimedMessage& m : messages) {
        ms.push_back(m.microseconds / 1000);
        if (m.kind == Kind::kShort) shorts.push_back(m.packed);
    }
    ASSERT_EQ(messages.size(), 11u);
    EXPECT_EQ(messages.front().kind, Kind::kLong);
    EXPECT_THAT(messages.front().bytes, ElementsAre(0xF0, 0x7E, 0x7F, 0x09, 0x01, 0xF7));
    EXPECT_EQ(messages.back().kind, Kind::kReset);
    EXPECT_THAT(shorts, ElementsAre(0xC0u, 0x643C90u, 0x3C80u, 0x644090u, 0x4080u, 0x644390u, 0x4380u, 0x644890u,
                                    0x4880u));
    // System On and the set-up at once; the pre-roll's pause of 30 ms for
    // each of its two events, then one period of 5 ms; every wait truncated
    // to whole milliseconds on its own; the reset when the list is done.
    EXPECT_THAT(ms, ElementsAre(0, 0, 65, 127, 2090, 2152, 4094, 4156, 6129, 6191, 8211));
}

TEST(WalkMessages, ACancelGivesNothing) {
    int asked = 0;
    EXPECT_TRUE(WalkMessages(*SpacedNotes(), [&asked] { return ++asked > 3; }).empty());
}

TEST(AudioRender, EachNoteSoundsFromItsTimeWithinOneBlock) {
    const std::vector<TimedMessage> messages = WalkMessages(*SpacedNotes());
    // A soundfont whose notes sound from their first frame, unlike real
    // instruments, whose samples often begin with a breath of near silence.
    const TempFile squares(test::SquareWaveSoundFont(), "square.sf2");
    TempFile file("notes.wav");
    const RenderResult result = RenderAudio(messages, squares.path(), file.path());
    ASSERT_EQ(result.status, RenderResult::Status::kDone) << result.error;
    const std::vector<std::int16_t> samples = Samples(file.Read());
    EXPECT_EQ(samples.size() / 2, result.frames);
    int notes = 0;
    for (const TimedMessage& m : messages) {
        if (m.kind != Kind::kShort || (m.packed & 0xF0) != 0x90) continue;
        ++notes;
        const std::uint64_t due = FrameAt(m.microseconds);
        const std::uint64_t onset = FirstSound(samples, due - 2 * kSynthBlock);
        EXPECT_GE(onset, due) << "note at " << m.microseconds << " us";
        // The voice starts on the synthesizer's first block boundary from
        // its frame on, and its envelope opens from 0 at that first frame.
        EXPECT_LE(onset, due + kSynthBlock) << "note at " << m.microseconds << " us";
    }
    EXPECT_EQ(notes, 4);
    // Long after the last note the reset finds silence: nothing follows it.
    EXPECT_EQ(result.frames, FrameAt(messages.back().microseconds));
}

TEST_F(AudioRenderTest, RendersOfOnePieceAreByteIdenticalAlsoAfterAPlay) {
    const std::vector<TimedMessage> messages = WalkMessages(*SpacedNotes());
    TempFile first("first.wav");
    TempFile second("second.wav");
    ASSERT_EQ(RenderAudio(messages, soundFont, first.path()).status, RenderResult::Status::kDone);
    // A play in between leaves a kept synthesizer that has sounded.
    auto played = FluidSynthEngine::Borrow(soundFont);
    ASSERT_NE(played, nullptr);
    played->ShortMessage(0x7F3C90);
    std::vector<float> sound(2 * 3000);
    fluid_synth_write_float(played->synth(), 3000, sound.data(), 0, 2, sound.data(), 1, 2);
    FluidSynthEngine::GiveBack(std::move(played));
    ASSERT_EQ(RenderAudio(messages, soundFont, second.path()).status, RenderResult::Status::kDone);
    EXPECT_EQ(first.Read(), second.Read());
}

TEST_F(AudioRenderTest, ACancelledOrFailedRenderLeavesNoFileAndTheOldOneAsItWas) {
    const std::vector<TimedMessage> messages = WalkMessages(*SpacedNotes());
    TempFile old(Bytes{'o', 'l', 'd'}, "old.wav");
    const std::filesystem::path dir = std::filesystem::path(old.path()).parent_path();
    int calls = 0;
    const RenderResult cancelled = RenderAudio(messages, soundFont, old.path(), [&calls](double share) {
        EXPECT_GE(share, 0.0);
        EXPECT_LE(share, 1.0);
        return ++calls < 3;
    });
    EXPECT_EQ(cancelled.status, RenderResult::Status::kCancelled);
    EXPECT_EQ(calls, 3);
    EXPECT_EQ(old.Read(), (Bytes{'o', 'l', 'd'}));
    EXPECT_EQ(test::FilesUnder(dir).size(), 1u) << "no temporary file left";

    const RenderResult unknown = RenderAudio(messages, soundFont, (dir / "out.mp3").string());
    EXPECT_EQ(unknown.status, RenderResult::Status::kFailed);
    const RenderResult noFolder = RenderAudio(messages, soundFont, (dir / "none" / "out.wav").string());
    EXPECT_EQ(noFolder.status, RenderResult::Status::kFailed);
    EXPECT_EQ(RenderAudio(messages, old.path(), (dir / "out.wav").string()).status, RenderResult::Status::kFailed)
        << "no soundfont";
    EXPECT_EQ(test::FilesUnder(dir).size(), 1u);
}

TEST_F(AudioRenderTest, FlacHoldsTheSameSoundAsWav) {
    if (!AudioFormatOf("x.flac")) GTEST_SKIP() << "this FluidSynth offers no FLAC";
    EXPECT_THAT(AudioExtensions(), ElementsAre(".wav", ".flac"));
    const std::vector<TimedMessage> messages = WalkMessages(*SpacedNotes());
    TempFile wav("same.wav");
    TempFile flac("same.flac");
    ASSERT_EQ(RenderAudio(messages, soundFont, wav.path()).status, RenderResult::Status::kDone);
    ASSERT_EQ(RenderAudio(messages, soundFont, flac.path()).status, RenderResult::Status::kDone);
    SF_INFO info{};
    SNDFILE* sound = sf_open(flac.path().c_str(), SFM_READ, &info);
    ASSERT_NE(sound, nullptr);
    std::vector<std::int16_t> decoded(static_cast<std::size_t>(info.frames * info.channels));
    sf_readf_short(sound, decoded.data(), info.frames);
    sf_close(sound);
    EXPECT_EQ(info.samplerate, 44100);
    EXPECT_EQ(decoded, Samples(wav.Read()));
}

}  // namespace
}  // namespace solvane
