// How long a play takes from Play to the first message its output receives,
// for the first play of a process and for the plays after it: what the
// window's user waits between pressing Play and hearing the piece begin.
// The built-in synthesizer's first opening loads its soundfont.
//
//   play_start [--wav] [--plays N] [--soundfont SF2] FILE.mid
// Plays FILE N times (default 4) on the built-in synthesizer through the
// system's audio output, or with --wav into a WAV file as it plays (which
// needs no sound card), stopping each play once it has begun.

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>

#include "platform/FluidSynthOut.h"
#include "platform/MessageSink.h"
#include "platform/MidiOutDevice.h"
#include "platform/WavMidiOut.h"
#include "playback/MusicPlayer.h"
#include "song/MidiFileLoader.h"

namespace {

using Clock = std::chrono::steady_clock;

// Passes everything to the output it wraps and notes when the first message
// of an opening arrives.
class Stopwatch : public solvane::MidiOutDevice {
public:
    explicit Stopwatch(solvane::MidiOutDevice& inner) : inner_(inner) {}

    int DeviceCount() override { return inner_.DeviceCount(); }
    std::unique_ptr<solvane::MidiOutHandle> Open(int id) override {
        auto handle = inner_.Open(id);
        if (!handle) return nullptr;
        return std::make_unique<Handle>(std::move(handle), *this);
    }
    void Beep(std::uint32_t hertz, std::uint32_t milliseconds) override { inner_.Beep(hertz, milliseconds); }

    std::atomic<Clock::rep> first{0};

private:
    class Handle : public solvane::MidiOutHandle {
    public:
        Handle(std::unique_ptr<solvane::MidiOutHandle> inner, Stopwatch& watch)
            : inner_(std::move(inner)), watch_(watch) {}
        bool ShortMessage(std::uint32_t packed) override {
            Note();
            return inner_->ShortMessage(packed);
        }
        LongResult LongMessage(const std::uint8_t* bytes, std::size_t length) override {
            Note();
            return inner_->LongMessage(bytes, length);
        }
        bool Reset() override { return inner_->Reset(); }
        bool Close() override { return inner_->Close(); }

    private:
        void Note() {
            Clock::rep none = 0;
            watch_.first.compare_exchange_strong(none, Clock::now().time_since_epoch().count());
        }
        std::unique_ptr<solvane::MidiOutHandle> inner_;
        Stopwatch& watch_;
    };

    solvane::MidiOutDevice& inner_;
};

std::atomic<bool> g_ended{false};

int OnPlayFinished() {
    g_ended = true;
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    bool wav = false;
    int plays = 4;
    std::string soundFont = solvane::FluidSynthOut::FindSoundFont();
    std::string file;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--wav") {
            wav = true;
        } else if (arg == "--plays" && i + 1 < argc) {
            plays = std::atoi(argv[++i]);
        } else if (arg == "--soundfont" && i + 1 < argc) {
            soundFont = argv[++i];
        } else {
            file = arg;
        }
    }
    if (file.empty()) {
        std::fprintf(stderr, "usage: play_start [--wav] [--plays N] [--soundfont SF2] FILE.mid\n");
        return 64;
    }
    solvane::MidiFileLoader loader(file);
    if (loader.size == 0) return 2;
    loader.BuildSong();
    if (!loader.song) return 2;

    const std::string wavPath = "/tmp/play_start.wav";
    std::unique_ptr<solvane::MidiOutDevice> output;
    if (wav) {
        output = std::make_unique<solvane::WavMidiOut>(wavPath, soundFont);
    } else {
        output = std::make_unique<solvane::FluidSynthOut>(soundFont);
    }
    Stopwatch watch(*output);
    solvane::InstallMidiOutDevice(&watch);
    std::printf("%s, soundfont %s\n", wav ? "WAV file as it plays" : "audio output", soundFont.c_str());
    for (int play = 1; play <= plays; ++play) {
        watch.first = 0;
        g_ended = false;
        const Clock::time_point pressed = Clock::now();
        solvane::Play(*loader.song, OnPlayFinished);
        while (watch.first.load() == 0 && !g_ended.load()) std::this_thread::sleep_for(std::chrono::microseconds(200));
        if (watch.first.load() == 0) {
            std::printf("play %d: the output did not open\n", play);
        } else {
            const auto waited = Clock::time_point(Clock::duration(watch.first.load())) - pressed;
            std::printf("play %d: %.1f ms from Play to the first message\n", play,
                        std::chrono::duration<double, std::milli>(waited).count());
        }
        if (!g_ended.load()) solvane::Stop();
        while (solvane::musicPlayer.idle.load() == 0) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    solvane::InstallMidiOutDevice(nullptr);
    std::remove(wavPath.c_str());
    return 0;
}
