#include "platform/ThreadTimer.h"

#include <pthread.h>
#include <sched.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <system_error>
#include <utility>

namespace solvane {
namespace {

// A thread woken by the kernel at its due time arrives tens to hundreds of
// microseconds late; sleeping until shortly before and spinning through the
// rest puts callbacks within a few microseconds. Without a real-time slot a
// long spin gets the thread preempted for a whole time slice on a busy
// machine, so it spins for less then.
constexpr auto kSpinRealtime = std::chrono::microseconds(200);
constexpr auto kSpinOrdinary = std::chrono::microseconds(100);

// How often an interruptible sleep looks whether it is to end.
constexpr auto kStopLook = std::chrono::milliseconds(5);

// The longest single delay, as the classic multimedia timers allowed.
constexpr std::uint32_t kMaxPeriodMs = 1'000'000;

// Best effort: a real-time slot (when the process may have one) keeps other
// work from delaying a due callback, and a minimal timer slack keeps the
// kernel from gathering our wake-up with later ones. Failures leave the
// ordinary scheduling, which only costs some precision. The lowest real-time
// priority is enough to pass ordinary threads and stays below audio servers.
// Returns whether the thread runs in real time.
bool RaiseTimerThreadPriority() {
    prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
    sched_param param{};
    param.sched_priority = sched_get_priority_min(SCHED_FIFO);
    if (pthread_setschedparam(pthread_self(), SCHED_FIFO, &param) == 0) return true;
    setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), -10);
    return false;
}

}  // namespace

ThreadTimer::ThreadTimer() {
    try {
        thread_ = std::thread([this] { Run(); });
    } catch (const std::system_error&) {
        // No thread, no events: SetEventAt reports that by returning 0.
    }
}

ThreadTimer::~ThreadTimer() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
        ++changes_;
    }
    changed_.notify_all();
    if (thread_.joinable()) thread_.join();
}

std::uint32_t ThreadTimer::MinPeriod() const { return 1; }

std::uint32_t ThreadTimer::MaxPeriod() const { return kMaxPeriodMs; }

// Nothing to raise: there is no system-wide tick to shorten on Linux, and the
// timer thread already waits on absolute high-resolution deadlines.
void ThreadTimer::BeginPeriod(std::uint32_t) {}

void ThreadTimer::EndPeriod(std::uint32_t) {}

std::uint32_t ThreadTimer::SetEventAt(Clock::time_point due, std::uint32_t, Callback callback) {
    if (!callback) return 0;
    std::uint32_t id = 0;
    bool earliest = false;
    {
        std::lock_guard lock(mutex_);
        if (stopping_ || !thread_.joinable()) return 0;
        id = NextId();
        const auto at = pending_.emplace(due, Event{id, std::move(callback)});
        earliest = at == pending_.begin();
        ++changes_;
    }
    if (earliest) changed_.notify_one();
    return id;
}

bool ThreadTimer::KillEvent(std::uint32_t id) {
    if (id == 0) return false;
    std::unique_lock lock(mutex_);
    for (auto at = pending_.begin(); at != pending_.end(); ++at) {
        if (at->second.id == id) {
            pending_.erase(at);
            ++changes_;
            lock.unlock();
            changed_.notify_one();
            return true;
        }
    }
    // Inside a callback the running event cannot be waited for: it is the
    // caller itself, or it holds the only thread that could finish it.
    if (std::this_thread::get_id() != thread_.get_id()) {
        finished_.wait(lock, [&] { return runningId_ != id; });
    }
    return false;
}

OneShotTimer::Clock::time_point ThreadTimer::Now() const { return Clock::now(); }

void ThreadTimer::Sleep(std::uint32_t milliseconds) {
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

void ThreadTimer::SleepUnless(std::uint32_t milliseconds, const std::function<bool()>& stopAsked) {
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(milliseconds);
    while (!stopAsked()) {
        const Clock::time_point now = Clock::now();
        if (now >= deadline) return;
        std::this_thread::sleep_for(std::min<Clock::duration>(deadline - now, kStopLook));
    }
}

std::uint32_t ThreadTimer::NextId() {
    // Ids wrap after four billion events; skip 0 and any id still pending.
    for (;;) {
        ++lastId_;
        if (lastId_ == 0) continue;
        bool taken = lastId_ == runningId_;
        for (const auto& entry : pending_) taken = taken || entry.second.id == lastId_;
        if (!taken) return lastId_;
    }
}

void ThreadTimer::Run() {
    spinWindow_ = RaiseTimerThreadPriority() ? kSpinRealtime : kSpinOrdinary;
    std::unique_lock lock(mutex_);
    while (!stopping_) {
        if (pending_.empty()) {
            changed_.wait(lock);
            continue;
        }
        const Clock::time_point due = pending_.begin()->first;
        if (Clock::now() < due) {
            WaitForDue(lock, due);
            continue;
        }
        Event event = std::move(pending_.begin()->second);
        pending_.erase(pending_.begin());
        ++changes_;
        runningId_ = event.id;
        lock.unlock();
        event.callback(event.id, due);
        event.callback = nullptr;  // whatever it captured goes before KillEvent returns
        lock.lock();
        runningId_ = 0;
        finished_.notify_all();
    }
}

void ThreadTimer::WaitForDue(std::unique_lock<std::mutex>& lock, Clock::time_point due) {
    if (Clock::now() < due - spinWindow_) {
        // Wakes early for a new earlier event, a cancellation or the end.
        changed_.wait_until(lock, due - spinWindow_);
        return;
    }
    const std::uint64_t seen = changes_.load();
    lock.unlock();
    while (Clock::now() < due && changes_.load() == seen) {
    }
    lock.lock();
}

}  // namespace solvane
