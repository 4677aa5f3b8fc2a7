#include "platform/WavMidiOut.h"

#include <fluidsynth.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <utility>
#include <vector>

#include "platform/FluidSynthEngine.h"
#include "platform/FluidSynthOut.h"

namespace solvane {
namespace {

constexpr std::uint32_t kChannels = 2;
constexpr std::uint32_t kBytesPerFrame = kChannels * 2;
constexpr std::uint32_t kSampleRate = FluidSynthEngine::kSampleRate;
constexpr std::size_t kHeaderBytes = 44;
constexpr std::uint64_t kChunkFrames = 4096;
constexpr std::uint64_t kTailFrames = kSampleRate;  // one second of release and reverb
// The RIFF sizes are 32-bit; a file stops growing before they overflow
// (more than six hours of sound).
constexpr std::uint64_t kMaxDataBytes = 0xFFFFFFFFu - kHeaderBytes;

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

void PutLe(std::uint8_t* at, std::uint32_t value, std::size_t bytes) {
    for (std::size_t i = 0; i < bytes; ++i) at[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

bool WriteHeader(std::FILE* file, std::uint32_t dataBytes) {
    std::array<std::uint8_t, kHeaderBytes> header{};
    auto tag = [&](std::size_t at, const char* text) {
        for (std::size_t i = 0; i < 4; ++i) header[at + i] = static_cast<std::uint8_t>(text[i]);
    };
    tag(0, "RIFF");
    PutLe(&header[4], dataBytes + kHeaderBytes - 8, 4);
    tag(8, "WAVE");
    tag(12, "fmt ");
    PutLe(&header[16], 16, 4);  // size of the format block
    PutLe(&header[20], 1, 2);   // integer PCM
    PutLe(&header[22], kChannels, 2);
    PutLe(&header[24], kSampleRate, 4);
    PutLe(&header[28], kSampleRate * kBytesPerFrame, 4);
    PutLe(&header[32], kBytesPerFrame, 2);
    PutLe(&header[34], 16, 2);  // bits per sample
    tag(36, "data");
    PutLe(&header[40], dataBytes, 4);
    return std::fwrite(header.data(), 1, header.size(), file) == header.size();
}

class WavHandle : public MidiOutHandle {
public:
    WavHandle(std::unique_ptr<FluidSynthEngine> engine, std::unique_ptr<std::FILE, FileCloser> file)
        : engine_(std::move(engine)),
          file_(std::move(file)),
          opened_(std::chrono::steady_clock::now()),
          samples_(kChunkFrames * kChannels),
          bytes_(kChunkFrames * kBytesPerFrame) {}

    ~WavHandle() override { Finish(); }

    bool ShortMessage(std::uint32_t packed) override {
        if (!file_) return false;
        const bool rendered = RenderToNow();
        return engine_->ShortMessage(packed) && rendered;
    }

    LongResult LongMessage(const std::uint8_t* bytes, std::size_t length) override {
        if (!file_) return LongResult::kNotSent;
        RenderToNow();
        return engine_->LongMessage(bytes, length);
    }

    bool Reset() override {
        if (!file_) return false;
        const bool rendered = RenderToNow();
        return engine_->Silence() && rendered;
    }

    bool Close() override { return Finish(); }

private:
    std::uint64_t FramesNow() const {
        const auto elapsed = std::chrono::duration_cast<std::chrono::microseconds>(
            std::chrono::steady_clock::now() - opened_);
        return static_cast<std::uint64_t>(elapsed.count()) * kSampleRate / 1'000'000u;
    }

    bool RenderToNow() { return RenderUntil(FramesNow()); }

    bool RenderUntil(std::uint64_t frame) {
        if (!file_) return false;
        while (frames_ < frame && !full_) {
            std::uint64_t count = std::min(frame - frames_, kChunkFrames);
            if (dataBytes_ + count * kBytesPerFrame > kMaxDataBytes) {
                count = (kMaxDataBytes - dataBytes_) / kBytesPerFrame;
                full_ = true;
            }
            if (count == 0) break;
            const int frames = static_cast<int>(count);
            if (fluid_synth_write_s16(engine_->synth(), frames, samples_.data(), 0, 2, samples_.data(), 1, 2) !=
                FLUID_OK) {
                failed_ = true;
                return false;
            }
            const std::size_t values = count * kChannels;
            for (std::size_t i = 0; i < values; ++i) {
                const auto sample = static_cast<std::uint16_t>(samples_[i]);
                bytes_[2 * i] = static_cast<std::uint8_t>(sample & 0xFFu);
                bytes_[2 * i + 1] = static_cast<std::uint8_t>(sample >> 8);
            }
            const std::size_t length = values * 2;
            if (std::fwrite(bytes_.data(), 1, length, file_.get()) != length) {
                failed_ = true;
                return false;
            }
            frames_ += count;
            dataBytes_ += length;
        }
        return !failed_;
    }

    bool Finish() {
        if (!file_) return false;
        RenderUntil(FramesNow() + kTailFrames);
        bool ok = !failed_ && std::fseek(file_.get(), 0, SEEK_SET) == 0 &&
                  WriteHeader(file_.get(), static_cast<std::uint32_t>(dataBytes_));
        ok = std::fclose(file_.release()) == 0 && ok;
        FluidSynthEngine::GiveBack(std::move(engine_));
        return ok;
    }

    std::unique_ptr<FluidSynthEngine> engine_;
    std::unique_ptr<std::FILE, FileCloser> file_;
    std::chrono::steady_clock::time_point opened_;
    std::vector<std::int16_t> samples_;  // made once: rendering runs on the timer thread
    std::vector<std::uint8_t> bytes_;
    std::uint64_t frames_ = 0;
    std::uint64_t dataBytes_ = 0;
    bool full_ = false;
    bool failed_ = false;
};

}  // namespace

WavMidiOut::WavMidiOut(std::string path) : WavMidiOut(std::move(path), FluidSynthOut::FindSoundFont()) {}

WavMidiOut::WavMidiOut(std::string path, std::string soundFont)
    : path_(std::move(path)), soundFont_(std::move(soundFont)) {}

int WavMidiOut::DeviceCount() {
    if (!soundFont_.empty() && access(soundFont_.c_str(), R_OK) == 0) return 1;
    problem_.Set(soundFont_.empty() ? NoSoundFontProblem() : UnreadableSoundFontProblem(soundFont_));
    return 0;
}

std::unique_ptr<MidiOutHandle> WavMidiOut::Open(int id) {
    if (id != kDefaultDevice && id != 0) return nullptr;
    std::unique_ptr<FluidSynthEngine> engine = FluidSynthEngine::Borrow(soundFont_);
    if (!engine) {
        problem_.Set(UnreadableSoundFontProblem(soundFont_));
        return nullptr;
    }
    std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path_.c_str(), "wb"));
    // A placeholder until closing knows the length.
    if (!file || !WriteHeader(file.get(), 0)) {
        problem_.Set("cannot write " + path_);
        FluidSynthEngine::GiveBack(std::move(engine));
        return nullptr;
    }
    return std::make_unique<WavHandle>(std::move(engine), std::move(file));
}

void WavMidiOut::Beep(std::uint32_t, std::uint32_t) {}

}  // namespace solvane
