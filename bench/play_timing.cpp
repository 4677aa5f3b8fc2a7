// How late each MIDI message goes out against the schedule the sequencer is
// meant to keep. For each piece: a virtual run (manual timer, recording
// output) gives every message's due time from the start of the timer; the
// real run (thread timer, trace output, a real play on its worker thread)
// gives the times the messages really went out. Beside it, a bare
// clock_nanosleep loop to the same due times shows what this machine can do.
//
//   play_timing [--trace-dir DIR] [FILE.mid ...]
// Without files it plays a generated two-minute piece and, when the shared
// corpus is there, a real one.

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/MessageSink.h"
#include "platform/MidiOutDevice.h"
#include "platform/OneShotTimer.h"
#include "platform/ThreadTimer.h"
#include "platform/TraceMidiOut.h"
#include "playback/MidiPlayer.h"
#include "playback/MusicPlayer.h"
#include "song/MidiFileLoader.h"
#include "tests/support/ManualTimer.h"
#include "tests/support/RecordingMidiOut.h"
#include "tests/support/SmfBuilder.h"

namespace {

using Clock = std::chrono::steady_clock;
using solvane::test::Bytes;

class QuietSink : public solvane::MessageSink {
public:
    void Show(std::string_view module, std::uint32_t code, std::string_view text) override {
        std::fprintf(stderr, "report: %s\n", solvane::FormatReport(module, code, text).c_str());
    }
};

// A two-minute piece at 96 ticks a quarter: sixteenth-note runs, chords on
// the beat, a bass line and three tempo changes.
Bytes TwoMinutePiece() {
    Bytes events;
    auto put = [&events](std::uint32_t delta, std::initializer_list<std::uint8_t> bytes) {
        const Bytes d = solvane::test::VarLen(delta);
        events.insert(events.end(), d.begin(), d.end());
        events.insert(events.end(), bytes);
    };
    put(0, {0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20});  // 120
    put(0, {0xC0, 0x00});
    put(0, {0xC1, 0x20});
    std::uint32_t pending = 0;
    const std::uint8_t tempos[][3] = {{0x07, 0xA1, 0x20}, {0x06, 0x1A, 0x80}, {0x08, 0x95, 0x44}, {0x07, 0x27, 0x0E}};
    for (int bar = 0; bar < 60; ++bar) {
        if (bar % 15 == 0 && bar > 0) {
            const auto* t = tempos[bar / 15];
            put(pending, {0xFF, 0x51, 0x03, t[0], t[1], t[2]});
            pending = 0;
        }
        for (int step = 0; step < 16; ++step) {
            const auto key = static_cast<std::uint8_t>(60 + (bar * 7 + step * 5) % 24);
            put(pending, {0x90, key, 90});
            pending = 0;
            if (step % 4 == 0) {
                const auto root = static_cast<std::uint8_t>(48 + (bar % 12));
                put(0, {0x91, root, 70});
                put(0, {0x91, static_cast<std::uint8_t>(root + 4), 70});
                put(0, {0x91, static_cast<std::uint8_t>(root + 7), 70});
            }
            put(23, {0x80, key, 0});
            if (step % 4 == 3) {
                const auto root = static_cast<std::uint8_t>(48 + (bar % 12));
                put(0, {0x81, root, 0});
                put(0, {0x81, static_cast<std::uint8_t>(root + 4), 0});
                put(0, {0x81, static_cast<std::uint8_t>(root + 7), 0});
            }
            pending = 1;
        }
    }
    put(pending, {0xFF, 0x2F, 0x00});
    return solvane::test::SmfBuilder().Header(0, 1, 96).Track(events).Bytes();
}

// The due time of each message sent by the timer chain, in milliseconds after
// the timer started, from a run on a manual timer.
std::vector<long> Schedule(const solvane::MidiF0Data& loaded, std::size_t& preRoll) {
    solvane::test::ManualTimer timer;
    solvane::test::RecordingMidiOut out;
    auto copy = std::make_unique<solvane::MidiF0Data>(loaded);
    copy->ChangeDivision(96);
    copy->ToEventForm();
    copy->TrimLeadingBars();
    solvane::MidiPlayer player(copy.get(), solvane::kDefaultDevice);
    preRoll = out.sent().size();
    timer.FireAll();
    std::vector<long> due;
    const auto sent = out.sent();
    for (std::size_t i = preRoll; i < sent.size(); ++i) {
        if (sent[i].kind == solvane::test::Sent::kShort || sent[i].kind == solvane::test::Sent::kLong) {
            due.push_back(static_cast<long>(sent[i].at.count()));
        }
    }
    return due;
}

// The thread timer, noting when its first event was due: the start of the schedule.
class AnchoredTimer : public solvane::OneShotTimer {
public:
    std::uint32_t MinPeriod() const override { return inner.MinPeriod(); }
    std::uint32_t MaxPeriod() const override { return inner.MaxPeriod(); }
    void BeginPeriod(std::uint32_t ms) override {
        period = ms;
        inner.BeginPeriod(ms);
    }
    void EndPeriod(std::uint32_t ms) override { inner.EndPeriod(ms); }
    std::uint32_t SetEventAt(Clock::time_point due, std::uint32_t resolution, Callback callback) override {
        {
            std::lock_guard lock(mutex);
            if (!anchored) {
                anchor = due - std::chrono::milliseconds(period);
                anchored = true;
            }
        }
        return inner.SetEventAt(due, resolution, std::move(callback));
    }
    bool KillEvent(std::uint32_t id) override { return inner.KillEvent(id); }
    Clock::time_point Now() const override { return inner.Now(); }
    void Sleep(std::uint32_t ms) override { inner.Sleep(ms); }
    void SleepUnless(std::uint32_t ms, const std::function<bool()>& stopAsked) override {
        inner.SleepUnless(ms, stopAsked);
    }

    solvane::ThreadTimer inner;
    std::mutex mutex;
    bool anchored = false;
    std::uint32_t period = 0;
    Clock::time_point anchor;
};

// Forwards to the trace output and notes when each message went out.
class TimedOut : public solvane::MidiOutDevice {
public:
    explicit TimedOut(std::string path) : trace(std::move(path)) {}
    int DeviceCount() override { return trace.DeviceCount(); }
    std::unique_ptr<solvane::MidiOutHandle> Open(int id) override {
        auto inner = trace.Open(id);
        if (!inner) return nullptr;
        return std::make_unique<Handle>(*this, std::move(inner));
    }
    void Beep(std::uint32_t, std::uint32_t) override {}

    std::mutex mutex;
    std::vector<Clock::time_point> times;

private:
    class Handle : public solvane::MidiOutHandle {
    public:
        Handle(TimedOut& owner, std::unique_ptr<solvane::MidiOutHandle> inner)
            : owner_(owner), inner_(std::move(inner)) {}
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
            const auto now = Clock::now();
            std::lock_guard lock(owner_.mutex);
            owner_.times.push_back(now);
        }
        TimedOut& owner_;
        std::unique_ptr<solvane::MidiOutHandle> inner_;
    };
    solvane::TraceMidiOut trace;
};

std::atomic<bool> g_done{false};
int Finished() {
    g_done = true;
    return 0;
}

struct Figures {
    double median, p99, max, last;
};

Figures Summarise(std::vector<double> lateness) {
    const double last = lateness.back();
    std::sort(lateness.begin(), lateness.end());
    auto at = [&](double q) { return lateness[static_cast<std::size_t>(q * static_cast<double>(lateness.size() - 1))]; };
    return {at(0.5), at(0.99), lateness.back(), last};
}

// Sleeps to each due time with nothing else in the way.
std::vector<double> BareLoop(const std::vector<long>& due) {
    timespec start{};
    clock_gettime(CLOCK_MONOTONIC, &start);
    const auto base = static_cast<std::int64_t>(start.tv_sec) * 1'000'000'000 + start.tv_nsec + 50'000'000;
    std::vector<double> lateness;
    for (long ms : due) {
        const std::int64_t target = base + static_cast<std::int64_t>(ms) * 1'000'000;
        timespec t{static_cast<time_t>(target / 1'000'000'000), static_cast<long>(target % 1'000'000'000)};
        clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &t, nullptr);
        timespec now{};
        clock_gettime(CLOCK_MONOTONIC, &now);
        const std::int64_t actual = static_cast<std::int64_t>(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
        lateness.push_back(static_cast<double>(actual - target) / 1e6);
    }
    return lateness;
}

bool Measure(const std::string& name, const std::string& path, const std::filesystem::path& traceDir) {
    solvane::MidiFileLoader loader(path);
    if (loader.size == 0) return false;
    loader.BuildSong();
    if (!loader.song) return false;
    std::size_t preRoll = 0;
    const std::vector<long> due = Schedule(*loader.song, preRoll);
    if (due.empty()) return false;

    AnchoredTimer timer;
    TimedOut out((traceDir / (name + ".trace")).string());
    solvane::InstallTimer(&timer);
    solvane::InstallMidiOutDevice(&out);
    g_done = false;
    Play(*loader.song, Finished);
    while (!g_done) std::this_thread::sleep_for(std::chrono::milliseconds(20));
    while (solvane::musicPlayer.idle == 0) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    solvane::InstallMidiOutDevice(nullptr);
    solvane::InstallTimer(nullptr);

    std::vector<double> lateness;
    {
        std::lock_guard lock(out.mutex);
        if (out.times.size() != preRoll + due.size()) {
            std::fprintf(stderr, "%s: %zu messages sent, %zu expected\n", name.c_str(), out.times.size(),
                         preRoll + due.size());
            return false;
        }
        for (std::size_t i = 0; i < due.size(); ++i) {
            const auto expected = timer.anchor + std::chrono::milliseconds(due[i]);
            lateness.push_back(std::chrono::duration<double, std::milli>(out.times[preRoll + i] - expected).count());
        }
    }
    const Figures played = Summarise(lateness);
    const Figures bare = Summarise(BareLoop(due));
    std::printf("%-28s %6zu msgs %7.1f s | played: median %6.3f  p99 %6.3f  max %7.3f  last %6.3f ms"
                " | bare loop: median %6.3f  p99 %6.3f  max %7.3f ms\n",
                name.c_str(), due.size(), static_cast<double>(due.back()) / 1000.0, played.median, played.p99,
                played.max, played.last, bare.median, bare.p99, bare.max);
    const bool ok = played.median <= 0.2 && played.p99 <= std::max(1.5 * bare.p99, 0.2) && std::abs(played.last) <= 2.0;
    std::printf("%-28s targets (median <= 0.2 ms, p99 <= 1.5 x bare loop, |last| <= 2 ms): %s\n", "",
                ok ? "met" : "NOT met");
    return ok;
}

}  // namespace

int main(int argc, char** argv) {
    QuietSink sink;
    solvane::InstallMessageSink(&sink);
    std::filesystem::path traceDir = std::filesystem::temp_directory_path();
    std::vector<std::string> files;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--trace-dir" && i + 1 < argc) {
            traceDir = argv[++i];
        } else {
            files.push_back(arg);
        }
    }
    bool ok = true;
    if (files.empty()) {
        solvane::test::TempFile piece(TwoMinutePiece(), "two-minutes.mid");
        ok = Measure("generated two-minute piece", piece.path(), traceDir) && ok;
        const auto corpus = solvane::test::CorpusDir();
        const auto real = corpus / "valid" / "tonejs" / "bach_format0.mid";
        if (!corpus.empty() && std::filesystem::exists(real)) ok = Measure("bach_format0.mid", real.string(), traceDir) && ok;
    }
    for (const std::string& file : files) {
        ok = Measure(std::filesystem::path(file).filename().string(), file, traceDir) && ok;
    }
    solvane::InstallMessageSink(nullptr);
    return ok ? 0 : 1;
}
