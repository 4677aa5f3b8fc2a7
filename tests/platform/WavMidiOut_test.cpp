#include "platform/WavMidiOut.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include "platform/FluidSynthOut.h"
#include "tests/support/SmfBuilder.h"

namespace solvane {
namespace {

using std::chrono::milliseconds;
using test::TempFile;

constexpr double kRate = 44100.0;

struct Wav {
    std::uint32_t Le(std::size_t at, std::size_t bytes) const {
        std::uint32_t value = 0;
        for (std::size_t i = 0; i < bytes; ++i) value |= static_cast<std::uint32_t>(file[at + i]) << (8 * i);
        return value;
    }
    std::string Tag(std::size_t at) const { return std::string(file.begin() + static_cast<long>(at), file.begin() + static_cast<long>(at) + 4); }

    // Root mean square of both channels between two times, in sample units.
    double Rms(double fromSeconds, double toSeconds) const {
        const std::size_t first = static_cast<std::size_t>(fromSeconds * kRate) * 2;
        const std::size_t last = std::min(samples.size(), static_cast<std::size_t>(toSeconds * kRate) * 2);
        double sum = 0;
        for (std::size_t i = first; i < last; ++i) sum += static_cast<double>(samples[i]) * samples[i];
        return last > first ? std::sqrt(sum / static_cast<double>(last - first)) : 0.0;
    }

    test::Bytes file;
    std::vector<std::int16_t> samples;  // interleaved left, right
};

// Checks the header of a 16-bit stereo 44.1 kHz file and reads its samples.
Wav ReadWav(const std::string& path) {
    Wav wav;
    wav.file = test::ReadFileBytes(path);
    EXPECT_GE(wav.file.size(), 44u);
    if (wav.file.size() < 44) return wav;
    EXPECT_EQ(wav.Tag(0), "RIFF");
    EXPECT_EQ(wav.Le(4, 4), wav.file.size() - 8);
    EXPECT_EQ(wav.Tag(8), "WAVE");
    EXPECT_EQ(wav.Tag(12), "fmt ");
    EXPECT_EQ(wav.Le(16, 4), 16u);
    EXPECT_EQ(wav.Le(20, 2), 1u) << "PCM";
    EXPECT_EQ(wav.Le(22, 2), 2u) << "channels";
    EXPECT_EQ(wav.Le(24, 4), 44100u);
    EXPECT_EQ(wav.Le(28, 4), 44100u * 4);
    EXPECT_EQ(wav.Le(32, 2), 4u);
    EXPECT_EQ(wav.Le(34, 2), 16u);
    EXPECT_EQ(wav.Tag(36), "data");
    const std::uint32_t dataBytes = wav.Le(40, 4);
    EXPECT_EQ(dataBytes, wav.file.size() - 44);
    EXPECT_EQ(dataBytes % 4, 0u);
    for (std::size_t at = 44; at + 1 < wav.file.size(); at += 2) {
        wav.samples.push_back(static_cast<std::int16_t>(wav.Le(at, 2)));
    }
    return wav;
}

class WavMidiOutWithSoundFont : public ::testing::Test {
protected:
    void SetUp() override {
        if (FluidSynthOut::FindSoundFont().empty()) GTEST_SKIP() << "no General MIDI soundfont installed";
    }
};

TEST_F(WavMidiOutWithSoundFont, AMelodyBecomesAValidFileWithSoundWhereTheNotesWere) {
    TempFile file("melody.wav");
    WavMidiOut wav(file.path());
    ASSERT_EQ(wav.DeviceCount(), 1);
    auto out = wav.Open(kDefaultDevice);
    ASSERT_NE(out, nullptr);
    const std::uint8_t gmOn[] = {0xF0, 0x7E, 0x7F, 0x09, 0x01, 0xF7};
    EXPECT_EQ(out->LongMessage(gmOn, sizeof gmOn), MidiOutHandle::LongResult::kSent);
    EXPECT_TRUE(out->ShortMessage(0x000000C0));  // piano
    std::this_thread::sleep_for(milliseconds(400));  // a rest before the first note
    for (std::uint32_t key : {60u, 64u, 67u, 72u}) {
        EXPECT_TRUE(out->ShortMessage(0x00640090u | key << 8));
        std::this_thread::sleep_for(milliseconds(200));
        EXPECT_TRUE(out->ShortMessage(0x00000080u | key << 8));
    }
    EXPECT_TRUE(out->Reset());
    EXPECT_TRUE(out->Close());

    const Wav result = ReadWav(file.path());
    const double seconds = static_cast<double>(result.samples.size()) / 2 / kRate;
    EXPECT_GE(seconds, 0.4 + 0.8 + 1.0) << "rest, four notes of 200 ms and the tail";
    // The rest is rendered before the first note starts, so it stays silent.
    EXPECT_LT(result.Rms(0.0, 0.35), 20.0);
    EXPECT_GT(result.Rms(0.45, 1.15), 200.0);
}

TEST_F(WavMidiOutWithSoundFont, ClosingWithoutAnyNoteGivesAQuietValidFile) {
    TempFile file("silence.wav");
    WavMidiOut wav(file.path());
    auto out = wav.Open(0);
    ASSERT_NE(out, nullptr);
    EXPECT_TRUE(out->Close());
    const Wav result = ReadWav(file.path());
    EXPECT_GE(result.samples.size() / 2, 44100u) << "the one-second tail";
    EXPECT_LT(result.Rms(0.0, 1.0), 20.0);
}

TEST_F(WavMidiOutWithSoundFont, DroppingAnOpenOutputStillCompletesTheFile) {
    TempFile file("dropped.wav");
    WavMidiOut wav(file.path());
    {
        auto out = wav.Open(0);
        ASSERT_NE(out, nullptr);
        out->ShortMessage(0x00640090u | 60u << 8);
    }
    const Wav result = ReadWav(file.path());
    EXPECT_GT(result.Rms(0.0, 1.0), 100.0);
}

TEST_F(WavMidiOutWithSoundFont, AClosedOutputRefusesEverything) {
    TempFile file("closed.wav");
    WavMidiOut wav(file.path());
    auto out = wav.Open(0);
    ASSERT_NE(out, nullptr);
    EXPECT_TRUE(out->Close());
    const std::uint8_t gmOn[] = {0xF0, 0x7E, 0x7F, 0x09, 0x01, 0xF7};
    EXPECT_FALSE(out->ShortMessage(0x00640090u | 60u << 8));
    EXPECT_EQ(out->LongMessage(gmOn, sizeof gmOn), MidiOutHandle::LongResult::kNotSent);
    EXPECT_FALSE(out->Reset());
    EXPECT_FALSE(out->Close());
}

TEST_F(WavMidiOutWithSoundFont, AFileThatCannotBeWrittenGivesNoOutput) {
    TempFile folder("missing-folder");
    WavMidiOut wav(folder.path() + "/out.wav");
    EXPECT_EQ(wav.Open(kDefaultDevice), nullptr);
    EXPECT_EQ(wav.Open(3), nullptr);
}

TEST(WavMidiOut, WithoutASoundFontThereIsNoOutput) {
    TempFile file("none.wav");
    TempFile missing("missing.sf2");
    WavMidiOut wav(file.path(), missing.path());
    EXPECT_EQ(wav.DeviceCount(), 0);
    EXPECT_EQ(wav.Open(kDefaultDevice), nullptr);
}

TEST(WavMidiOut, AFileThatIsNoSoundFontGivesNoOutput) {
    TempFile file("none.wav");
    TempFile bogus(test::Bytes{'n', 'o', 't', ' ', 'a', ' ', 's', 'f', '2'}, "bogus.sf2");
    WavMidiOut wav(file.path(), bogus.path());
    EXPECT_EQ(wav.Open(kDefaultDevice), nullptr);
}

}  // namespace
}  // namespace solvane
