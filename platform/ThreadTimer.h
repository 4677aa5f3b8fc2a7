#pragma once
// The one-shot timer on a thread of its own: pending events ordered by due
// time, fired one at a time on that thread. Owns the thread, which starts with
// the object and is joined by its destructor (pending events are dropped then).
// The destructor must not run on the timer thread itself. The resolution hint
// is not needed: every event is aimed at its exact due time.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <mutex>
#include <thread>

#include "platform/OneShotTimer.h"

namespace solvane {

class ThreadTimer : public OneShotTimer {
public:
    ThreadTimer();
    ~ThreadTimer() override;
    ThreadTimer(const ThreadTimer&) = delete;
    ThreadTimer& operator=(const ThreadTimer&) = delete;

    std::uint32_t MinPeriod() const override;
    std::uint32_t MaxPeriod() const override;
    void BeginPeriod(std::uint32_t milliseconds) override;
    void EndPeriod(std::uint32_t milliseconds) override;
    std::uint32_t SetEventAt(Clock::time_point due, std::uint32_t resolution,
                             Callback callback) override;
    bool KillEvent(std::uint32_t id) override;
    Clock::time_point Now() const override;
    void Sleep(std::uint32_t milliseconds) override;
    void SleepUnless(std::uint32_t milliseconds, const std::function<bool()>& stopAsked) override;

private:
    struct Event {
        std::uint32_t id;
        Callback callback;
    };

    void Run();
    // Sleeps until the earliest event is due or the pending set changes.
    // Called and returns with the lock held.
    void WaitForDue(std::unique_lock<std::mutex>& lock, Clock::time_point due);
    std::uint32_t NextId();

    std::mutex mutex_;
    std::condition_variable changed_;   // the pending set changed, or stopping
    std::condition_variable finished_;  // a callback returned
    // Equal due times keep the order in which they were armed.
    std::multimap<Clock::time_point, Event> pending_;
    std::uint32_t lastId_ = 0;
    std::uint32_t runningId_ = 0;  // the event whose callback runs now, 0 when none
    bool stopping_ = false;
    // Bumped on every change of pending_, so the final spin before a due time
    // notices an earlier event or a cancellation without taking the lock.
    std::atomic<std::uint64_t> changes_{0};
    std::chrono::microseconds spinWindow_{0};  // timer thread only
    std::thread thread_;  // last: it starts once everything above exists
};

}  // namespace solvane
