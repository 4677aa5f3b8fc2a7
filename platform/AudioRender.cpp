#include "platform/AudioRender.h"

#include <fcntl.h>
#include <fluidsynth.h>
#include <sndfile.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <memory>
#include <utility>

#include "platform/FluidSynthEngine.h"
#include "platform/MidiOutDevice.h"
#include "platform/VirtualTimer.h"
#include "platform/VirtualWalk.h"
#include "playback/MusicPlayer.h"
#include "song/MidiF0Data.h"

namespace solvane {
namespace {

constexpr int kRate = FluidSynthEngine::kSampleRate;
constexpr int kChannels = 2;
// Frames rendered per call into the synthesizer: the larger, the fewer
// trips through its API; events still land on its own 64-frame grid.
constexpr std::uint64_t kBlock = 8192;
// Once every voice has ended, the reverb's and chorus's tails ring on until
// they round to silence; a sound that never ends stops here.
constexpr std::uint64_t kLongestTail = 30 * static_cast<std::uint64_t>(kRate);
constexpr std::uint64_t kProgressEvery = kRate / 4;
// WAV sizes are 32-bit; a render stops growing before they overflow.
constexpr std::uint64_t kMaxWavFrames = (0xFFFFFFFFu - 44u) / (kChannels * 2);

// The output a walk plays into: every message with the virtual time it was sent.
class Recorder : public MidiOutDevice {
public:
    explicit Recorder(const VirtualTimer& timer) : timer_(timer) {}

    int DeviceCount() override { return 1; }
    std::unique_ptr<MidiOutHandle> Open(int id) override;
    void Beep(std::uint32_t, std::uint32_t) override {}

    void Add(TimedMessage::Kind kind, std::uint32_t packed, std::vector<std::uint8_t> bytes) {
        const auto since = std::chrono::duration_cast<std::chrono::microseconds>(timer_.Now() - opened_);
        messages.push_back({since.count(), kind, packed, std::move(bytes)});
    }

    std::vector<TimedMessage> messages;

private:
    const VirtualTimer& timer_;
    OneShotTimer::Clock::time_point opened_{};
};

class RecorderHandle : public MidiOutHandle {
public:
    explicit RecorderHandle(Recorder& recorder) : recorder_(recorder) {}
    bool ShortMessage(std::uint32_t packed) override {
        recorder_.Add(TimedMessage::Kind::kShort, packed, {});
        return true;
    }
    LongResult LongMessage(const std::uint8_t* bytes, std::size_t length) override {
        recorder_.Add(TimedMessage::Kind::kLong, 0, std::vector<std::uint8_t>(bytes, bytes + length));
        return LongResult::kSent;
    }
    bool Reset() override {
        recorder_.Add(TimedMessage::Kind::kReset, 0, {});
        return true;
    }
    bool Close() override { return true; }

private:
    Recorder& recorder_;
};

std::unique_ptr<MidiOutHandle> Recorder::Open(int) {
    opened_ = timer_.Now();
    return std::make_unique<RecorderHandle>(*this);
}

bool FluidSynthOffersFlac() {
    static const bool offered = [] {
        fluid_settings_t* settings = new_fluid_settings();
        if (settings == nullptr) return false;
        bool found = false;
        fluid_settings_foreach_option(settings, "audio.file.type", &found,
                                      [](void* data, const char*, const char* option) {
                                          if (std::strcmp(option, "flac") == 0) *static_cast<bool*>(data) = true;
                                      });
        delete_fluid_settings(settings);
        SF_INFO info{};
        info.samplerate = kRate;
        info.channels = kChannels;
        info.format = SF_FORMAT_FLAC | SF_FORMAT_PCM_16;
        return found && sf_format_check(&info) != 0;
    }();
    return offered;
}

bool EndsWith(const std::string& text, const std::string& end) {
    if (text.size() < end.size()) return false;
    return std::equal(end.rbegin(), end.rend(), text.rbegin(),
                      [](char a, char b) { return std::tolower(static_cast<unsigned char>(a)) == b; });
}

// Rounded half away from zero, without a call into the maths library for
// each of 88,200 values a second.
std::int16_t ToSample(float value) {
    const float scaled = std::clamp(value * 32768.0f, -32768.0f, 32767.0f);
    return static_cast<std::int16_t>(scaled + (scaled < 0 ? -0.5f : 0.5f));
}

void PutLe(std::uint8_t* at, std::uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) at[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

// The file being written, under a name of its own beside the one asked for
// until it is whole.
class AudioFile {
public:
    AudioFile(const std::string& path, AudioFormat format) : path_(path), format_(format) {
        static std::atomic<unsigned> serial{0};
        const std::size_t slash = path.rfind('/');
        const std::string dir = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
        const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
        temporary_ = dir + "." + name + ".part-" + std::to_string(getpid()) + "-" + std::to_string(serial++);
        const int fd = open(temporary_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0) return;
        created_ = true;
        if (format == AudioFormat::kWav) {
            file_ = fdopen(fd, "wb");
            if (file_ == nullptr) {
                close(fd);
                return;
            }
            std::setvbuf(file_, nullptr, _IOFBF, 1 << 20);
            ok_ = WriteWavHeader(0);
        } else {
            SF_INFO info{};
            info.samplerate = kRate;
            info.channels = kChannels;
            info.format = SF_FORMAT_FLAC | SF_FORMAT_PCM_16;
            sound_ = sf_open_fd(fd, SFM_WRITE, &info, SF_TRUE);
            if (sound_ == nullptr) close(fd);
            ok_ = sound_ != nullptr;
        }
    }
    ~AudioFile() { Discard(); }
    AudioFile(const AudioFile&) = delete;
    AudioFile& operator=(const AudioFile&) = delete;

    bool ok() const { return ok_; }

    bool Write(const std::int16_t* samples, std::uint64_t frames) {
        if (!ok_) return false;
        if (format_ == AudioFormat::kWav) {
            frames = std::min(frames, kMaxWavFrames - frames_);
            bytes_.resize(static_cast<std::size_t>(frames) * kChannels * 2);
            for (std::size_t i = 0; i < frames * kChannels; ++i) {
                PutLe(&bytes_[2 * i], static_cast<std::uint16_t>(samples[i]), 2);
            }
            ok_ = std::fwrite(bytes_.data(), 1, bytes_.size(), file_) == bytes_.size();
        } else {
            ok_ = sf_writef_short(sound_, samples, static_cast<sf_count_t>(frames)) ==
                  static_cast<sf_count_t>(frames);
        }
        frames_ += frames;
        return ok_;
    }

    // Completes the file and gives it its name.
    bool Keep() {
        if (format_ == AudioFormat::kWav) {
            if (file_ == nullptr) return false;
            ok_ = ok_ && std::fseek(file_, 0, SEEK_SET) == 0 &&
                  WriteWavHeader(static_cast<std::uint32_t>(frames_ * kChannels * 2));
            ok_ = std::fclose(file_) == 0 && ok_;
            file_ = nullptr;
        } else {
            if (sound_ == nullptr) return false;
            ok_ = sf_close(sound_) == 0 && ok_;
            sound_ = nullptr;
        }
        ok_ = ok_ && std::rename(temporary_.c_str(), path_.c_str()) == 0;
        if (ok_) created_ = false;
        return ok_;
    }

private:
    bool WriteWavHeader(std::uint32_t dataBytes) {
        std::array<std::uint8_t, 44> header{};
        std::memcpy(&header[0], "RIFF", 4);
        PutLe(&header[4], dataBytes + 36, 4);
        std::memcpy(&header[8], "WAVEfmt ", 8);
        PutLe(&header[16], 16, 4);
        PutLe(&header[20], 1, 2);  // integer PCM
        PutLe(&header[22], kChannels, 2);
        PutLe(&header[24], kRate, 4);
        PutLe(&header[28], kRate * kChannels * 2, 4);
        PutLe(&header[32], kChannels * 2, 2);
        PutLe(&header[34], 16, 2);
        std::memcpy(&header[36], "data", 4);
        PutLe(&header[40], dataBytes, 4);
        return std::fwrite(header.data(), 1, header.size(), file_) == header.size();
    }

    void Discard() {
        if (file_ != nullptr) std::fclose(file_);
        if (sound_ != nullptr) sf_close(sound_);
        file_ = nullptr;
        sound_ = nullptr;
        if (created_) std::remove(temporary_.c_str());
        created_ = false;
    }

    std::string path_;
    std::string temporary_;
    AudioFormat format_;
    std::FILE* file_ = nullptr;
    SNDFILE* sound_ = nullptr;
    std::vector<std::uint8_t> bytes_;
    std::uint64_t frames_ = 0;
    bool created_ = false;
    bool ok_ = false;
};

// The synthesizer's output, block by block, into the file.
class Renderer {
public:
    Renderer(FluidSynthEngine& engine, AudioFile& file, const std::function<bool(double)>& progress,
             std::uint64_t expectedFrames)
        : engine_(engine),
          file_(file),
          progress_(progress),
          expected_(std::max<std::uint64_t>(expectedFrames, 1)),
          floats_(kBlock * kChannels),
          samples_(kBlock * kChannels) {}

    // Renders up to frame; false on a failed write or a cancel.
    bool RenderTo(std::uint64_t frame) {
        while (frames_ < frame) {
            const std::uint64_t count = std::min(frame - frames_, kBlock);
            if (!Render(count) || !Write(count) || !Progress()) return false;
        }
        return true;
    }

    // Renders until every voice has ended and the effects have died away;
    // the silent block that shows it is not written.
    bool RenderTail() {
        for (std::uint64_t tail = 0; tail < kLongestTail; tail += kBlock) {
            if (!Render(kBlock)) return false;
            const bool silent = std::all_of(samples_.begin(), samples_.end(), [](std::int16_t s) { return s == 0; });
            if (silent && fluid_synth_get_active_voice_count(engine_.synth()) == 0) return true;
            if (!Write(kBlock) || !Progress()) return false;
        }
        return true;
    }

    bool cancelled() const { return cancelled_; }
    std::uint64_t frames() const { return frames_; }

private:
    bool Render(std::uint64_t count) {
        const int frames = static_cast<int>(count);
        if (fluid_synth_write_float(engine_.synth(), frames, floats_.data(), 0, kChannels, floats_.data(), 1,
                                    kChannels) != FLUID_OK) {
            return false;
        }
        const std::size_t values = static_cast<std::size_t>(count) * kChannels;
        for (std::size_t i = 0; i < values; ++i) samples_[i] = ToSample(floats_[i]);
        return true;
    }

    bool Write(std::uint64_t count) {
        frames_ += count;
        return file_.Write(samples_.data(), count);
    }

    bool Progress() {
        if (!progress_ || frames_ - reported_ < kProgressEvery) return true;
        reported_ = frames_;
        const double share = std::min(1.0, static_cast<double>(frames_) / static_cast<double>(expected_));
        if (!progress_(share)) cancelled_ = true;
        return !cancelled_;
    }

    FluidSynthEngine& engine_;
    AudioFile& file_;
    const std::function<bool(double)>& progress_;
    std::uint64_t expected_;
    std::vector<float> floats_;
    std::vector<std::int16_t> samples_;
    std::uint64_t frames_ = 0;
    std::uint64_t reported_ = 0;
    bool cancelled_ = false;
};

void Send(FluidSynthEngine& engine, const TimedMessage& message) {
    switch (message.kind) {
        case TimedMessage::Kind::kShort:
            engine.ShortMessage(message.packed);
            break;
        case TimedMessage::Kind::kLong:
            engine.LongMessage(message.bytes.data(), message.bytes.size());
            break;
        case TimedMessage::Kind::kReset:
            engine.Silence();
            break;
    }
}

}  // namespace

std::vector<TimedMessage> WalkMessages(const MidiF0Data& song, const std::function<bool()>& cancelled) {
    std::unique_ptr<MidiF0Data> copy = PrepareForPlay(song);
    VirtualTimer timer;
    Recorder recorder(timer);
    WalkOnVirtualClock(*copy, timer, recorder, nullptr, cancelled);  // released: reset, as at a play's end
    if (cancelled && cancelled()) return {};
    return std::move(recorder.messages);
}

std::optional<AudioFormat> AudioFormatOf(const std::string& path) {
    if (EndsWith(path, ".wav")) return AudioFormat::kWav;
    if (EndsWith(path, ".flac") && FluidSynthOffersFlac()) return AudioFormat::kFlac;
    return std::nullopt;
}

std::vector<std::string> AudioExtensions() {
    std::vector<std::string> extensions{".wav"};
    if (FluidSynthOffersFlac()) extensions.push_back(".flac");
    return extensions;
}

std::uint64_t FrameAt(std::int64_t microseconds) {
    if (microseconds <= 0) return 0;
    return static_cast<std::uint64_t>(microseconds) * kRate / 1'000'000u;
}

RenderResult RenderAudio(const std::vector<TimedMessage>& messages, const std::string& soundFont,
                         const std::string& path, const std::function<bool(double)>& progress) {
    RenderResult result;
    const std::optional<AudioFormat> format = AudioFormatOf(path);
    if (!format) {
        result.error = "cannot write audio as " + path + " (a .wav file, or .flac where FluidSynth offers it)";
        return result;
    }
    // A synthesizer of its own: one kept from a play, even after a system
    // reset, still carries its effects' modulation and the place in its
    // current block, and would make every render sound a little different.
    std::unique_ptr<FluidSynthEngine> engine = FluidSynthEngine::Create(soundFont);
    if (!engine) {
        result.error = "cannot load the soundfont " + soundFont;
        return result;
    }
    AudioFile file(path, *format);
    if (!file.ok()) {
        result.error = "cannot write " + path;
        return result;
    }
    const std::uint64_t last = messages.empty() ? 0 : FrameAt(messages.back().microseconds);
    Renderer renderer(*engine, file, progress, last);
    bool ok = true;
    for (const TimedMessage& message : messages) {
        ok = renderer.RenderTo(FrameAt(message.microseconds));
        if (!ok) break;
        Send(*engine, message);
    }
    ok = ok && renderer.RenderTail() && file.Keep();
    result.frames = renderer.frames();
    if (renderer.cancelled()) {
        result.status = RenderResult::Status::kCancelled;
    } else if (!ok) {
        result.error = "cannot write " + path;
    } else {
        result.status = RenderResult::Status::kDone;
    }
    return result;
}

}  // namespace solvane
