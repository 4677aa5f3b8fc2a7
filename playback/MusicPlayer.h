#pragma once
// The playback record: at most one play runs at a time, on a worker thread of
// its own over a private copy of the song. The user-interface thread starts
// and stops plays; the worker runs the sequencer and reports the end through
// a callback. musicPlayer is the one process-wide instance.

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>

#include "playback/MidiPlayer.h"
#include "song/MidiF0Data.h"
#include "support/ReportCodes.h"

namespace solvane {

// Called on the play's worker thread when a play ends by itself or cannot start.
using PlayFinished = std::function<int()>;

// What a worker thread is handed: its song copy (owned from then on) and the
// callback for the end of the play.
struct PlayRequest {
    std::unique_ptr<MidiF0Data> song;
    PlayFinished onFinished;
};

class MusicPlayer {
public:
    // On the worker: builds and starts the sequencer into owned and publishes
    // it as player. 1 when an output is open, else 0 (owned is then empty).
    // stopWhileStarting tells the sequencer of a stop asked before then.
    int Start(MidiF0Data* song, std::unique_ptr<MidiPlayer>& owned, std::function<bool()> stopWhileStarting = {});
    // On the worker: withdraws the sequencer from player, then releases it
    // (output reset and closed).
    void End(std::unique_ptr<MidiPlayer>& owned);
    void ReportError(std::uint32_t code) const;

    // StartPlayThread's claim for a new worker, made before the thread exists
    // so that a Stop right now waits for it: the next generation, busy, one
    // more live worker. Returns the new generation.
    std::uint64_t Claim();
    // A worker's last step: the record is idle again, unless a newer play has
    // claimed it since this worker was given up on. The look at the
    // generation and the mark are one step under the lock: a claim falling
    // between them would have its play marked idle, and Stop would then
    // return without stopping it.
    void WorkerEnded(std::uint64_t generation);
    // Undoes a claim whose thread could not be started.
    void WithdrawClaim(std::uint64_t generation);

    // Asks every play started so far to stop, also one still in its pre-roll,
    // whose sequencer nobody can reach yet: its pause ends early and it
    // starts no timer.
    void AskStartingToStop() { stopThrough = generation.load(); }

    // Runs f on the published sequencer, if any, while no worker can release it.
    template <typename F>
    bool WithPlayer(F f) {
        std::lock_guard lock(mutex_);
        MidiPlayer* p = player.load();
        if (p == nullptr) return false;
        f(*p);
        return true;
    }

    // At program end: stops a play that still runs, so its output is reset
    // and closed, and waits (a few seconds at most) for its worker, calling
    // whileWaiting between looks (the window delivers pending reports there).
    void Shutdown(const std::function<void()>& whileWaiting = {});

    std::atomic<int> idle{1};
    std::atomic<MidiPlayer*> player{nullptr};
    // How many events of its song the running play has sent, -1 while none
    // runs: written by the sequencer, read by the preview's playhead, which
    // so never waits on the timer thread.
    std::atomic<std::int32_t> sent{-1};

    // Bookkeeping that keeps a worker that outlived its wait apart from the next one.
    std::atomic<std::uint64_t> generation{0};
    std::atomic<int> liveWorkers{0};
    // Plays of this generation and older are asked to stop while starting.
    std::atomic<std::uint64_t> stopThrough{0};

    // Tests only: runs in WorkerEnded between the look and the mark, where a
    // test tries to get a new play's claim in. Set while no worker runs.
    std::function<void()> beforeIdleMark;

private:
    std::mutex mutex_;
};

extern MusicPlayer musicPlayer;

// What the sequencer plays of a song in note form: a copy of it, at 96 ticks
// per quarter note, in event form, without the whole bars of silence before
// its first note. The song itself is not changed.
std::unique_ptr<MidiF0Data> PrepareForPlay(const MidiF0Data& song);
// Plays a song in note form: PrepareForPlay's copy goes to a worker thread;
// returns once the thread is started.
void Play(const MidiF0Data& song, PlayFinished onFinished);
// Ends the running play and returns when it has ended; needs no song.
int Stop();

// Waits for the previous play, then starts a worker on song. The thread is
// not kept: it ends by itself. When no thread can be started, reports it
// and calls onFinished here, as for a play that could not start.
void StartPlayThread(std::unique_ptr<MidiF0Data> song, PlayFinished onFinished);
// The worker's routine; 0 after a play that played, 1 after one that could not start.
int PlayThread(PlayRequest request, std::uint64_t generation);

}  // namespace solvane
