#include "playback/MusicPlayer.h"

#include <chrono>
#include <thread>
#include <utility>

#include "platform/OneShotTimer.h"
#include "platform/ThreadStarter.h"
#include "support/General.h"
#include "support/Messages.h"

namespace solvane {
namespace {

constexpr std::uint32_t kPoll = 100;        // every waiting side looks every 100 ms
constexpr int kAskToStopAt = 50;            // a previous play still running after 5 s is asked to stop
constexpr int kGiveUpAfter = 100;           // and given up on after 10 s
constexpr int kForceStopAfter = 20;         // Stop forces the end after 2.1 s
constexpr std::uint32_t kAfterStop = 1000;  // the output settles before the next play
constexpr auto kShutdownWait = std::chrono::seconds(3);

// The end a stuck play is forced to: the worker releases its sequencer,
// which cancels the pending timer event. Never cancelled from here, since a
// callback may be waiting for this very thread to show a message.
void ForceEnd(MidiPlayer& player) {
    player.stopRequested = 1;
    player.playing = 0;
}

}  // namespace

MusicPlayer musicPlayer;

void MusicPlayer::ReportError(std::uint32_t code) const { ReportModuleError(Module::kMusicPlayer, code); }

int MusicPlayer::Start(MidiF0Data* song, std::unique_ptr<MidiPlayer>& owned,
                       std::function<bool()> stopWhileStarting) {
    if (song == nullptr || song->state != kStateEventForm) ReportError(kMusicPlayerInternalError);
    owned = std::make_unique<MidiPlayer>(song, kDefaultDevice, std::move(stopWhileStarting), nullptr, nullptr, &sent);
    {
        std::lock_guard lock(mutex_);
        player = owned.get();
    }
    if (owned->device) return 1;
    End(owned);
    return 0;
}

void MusicPlayer::End(std::unique_ptr<MidiPlayer>& owned) {
    {
        std::lock_guard lock(mutex_);
        if (player.load() == owned.get()) player = nullptr;
    }
    owned.reset();
}

std::uint64_t MusicPlayer::Claim() {
    std::lock_guard lock(mutex_);
    idle = 0;
    liveWorkers.fetch_add(1);
    return ++generation;
}

void MusicPlayer::WorkerEnded(std::uint64_t claimed) {
    std::lock_guard lock(mutex_);
    if (generation.load() == claimed) {
        if (beforeIdleMark) beforeIdleMark();
        idle = 1;
    }
    liveWorkers.fetch_sub(1);
}

void MusicPlayer::WithdrawClaim(std::uint64_t claimed) {
    std::lock_guard lock(mutex_);
    generation = claimed - 1;
    liveWorkers.fetch_sub(1);
    // A worker given up on that still runs is the current one again and
    // marks the record idle when it ends.
    idle = liveWorkers.load() > 0 ? 0 : 1;
}

void MusicPlayer::Shutdown(const std::function<void()>& whileWaiting) {
    const auto deadline = std::chrono::steady_clock::now() + kShutdownWait;
    while (liveWorkers.load() > 0 && std::chrono::steady_clock::now() < deadline) {
        AskStartingToStop();
        WithPlayer(ForceEnd);  // also a play that was still starting when asked
        if (whileWaiting) whileWaiting();
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

int PlayThread(PlayRequest request, std::uint64_t generation) {
    MusicPlayer& record = musicPlayer;
    record.idle = 0;
    std::unique_ptr<MidiPlayer> player;
    int exitCode = 0;
    const auto stopWhileStarting = [generation] { return musicPlayer.stopThrough.load() >= generation; };
    if (record.Start(request.song.get(), player, stopWhileStarting) == 0) {
        if (request.onFinished) request.onFinished();
        request.song.reset();
        exitCode = 1;
    } else {
        OneShotTimer& timer = CurrentTimer();
        while (player->playing == 1) timer.Sleep(kPoll);
        if (player->stopRequested == 0 && request.onFinished) request.onFinished();
        // The sequencer goes first: a forced end clears playing while a
        // callback may still be sending from the song, and releasing the
        // sequencer waits for that callback.
        record.End(player);
        request.song.reset();
    }
    // A worker that was given up on must not mark the next play's worker idle.
    record.WorkerEnded(generation);
    return exitCode;
}

void StartPlayThread(std::unique_ptr<MidiF0Data> song, PlayFinished onFinished) {
    MusicPlayer& record = musicPlayer;
    OneShotTimer& timer = CurrentTimer();
    if (record.idle == 0) {
        for (int waits = 1;; ++waits) {
            timer.Sleep(kPoll);
            if (waits == kAskToStopAt) {
                record.AskStartingToStop();
                record.WithPlayer([](MidiPlayer& p) { p.stopRequested = 1; });
            }
            if (waits > kGiveUpAfter) {
                ReportGeneralError(kGeneralPerformance);
                // Its timer chain is stuck; end it so its output is reset too.
                record.AskStartingToStop();
                record.WithPlayer(ForceEnd);
                break;
            }
            if (record.idle == 1) break;
        }
    }
    const std::uint64_t generation = record.Claim();
    // Shared with the thread's work, so that the request is still here when
    // no thread takes it.
    auto request = std::make_shared<PlayRequest>(PlayRequest{std::move(song), std::move(onFinished)});
    if (CurrentThreadStarter().Start([request, generation] { PlayThread(std::move(*request), generation); })) return;
    // No thread: the record is put back as it was, and the play ends as one
    // that could not start, so the window's button reads Play again.
    record.WithdrawClaim(generation);
    ReportGeneralError(kGeneralPerformance);
    if (request->onFinished) request->onFinished();
}

std::unique_ptr<MidiF0Data> PrepareForPlay(const MidiF0Data& song) {
    auto copy = std::make_unique<MidiF0Data>(song);
    copy->ChangeDivision(96);
    copy->ToEventForm();
    copy->TrimLeadingBars();
    return copy;
}

void Play(const MidiF0Data& song, PlayFinished onFinished) { StartPlayThread(PrepareForPlay(song), std::move(onFinished)); }

int Stop() {
    MusicPlayer& record = musicPlayer;
    OneShotTimer& timer = CurrentTimer();
    // A play that is still starting publishes its sequencer after the
    // pre-roll; one that could not start ends without ever publishing one.
    // Asked first, a starting play cuts its pre-roll short and ends at once,
    // so this wait is not held up by half a minute of set-up events.
    record.AskStartingToStop();
    while (record.player.load() == nullptr && record.idle == 0) timer.Sleep(kPoll);
    record.WithPlayer([](MidiPlayer& p) { p.stopRequested = 1; });
    for (int waits = 1; record.idle == 0; ++waits) {
        timer.Sleep(kPoll);
        if (record.idle == 1) break;
        if (waits > kForceStopAfter) {
            // A long rest holds the next callback back: end it now.
            record.WithPlayer(ForceEnd);
            break;
        }
    }
    timer.Sleep(kAfterStop);
    return 1;
}

}  // namespace solvane
