#pragma once
// One-shot timer events on a timer thread, with ids, a resolution hint and
// cancellation, plus the plain sleep of the playback threads. Events are
// armed for an absolute due time, so a chain of them does not drift by the
// latency of each callback. A process-wide timer is installed; the default
// is the thread timer.

#include <chrono>
#include <cstdint>
#include <functional>

namespace solvane {

class OneShotTimer {
public:
    using Clock = std::chrono::steady_clock;
    // Runs on the timer thread with the event's id and the time it was due.
    using Callback = std::function<void(std::uint32_t id, Clock::time_point due)>;

    virtual ~OneShotTimer() = default;
    virtual std::uint32_t MinPeriod() const = 0;  // milliseconds, at least 1
    virtual std::uint32_t MaxPeriod() const = 0;
    virtual void BeginPeriod(std::uint32_t milliseconds) = 0;
    virtual void EndPeriod(std::uint32_t milliseconds) = 0;
    // Returns the new event's id (never 0), or 0 when it cannot be set.
    virtual std::uint32_t SetEventAt(Clock::time_point due, std::uint32_t resolution,
                                     Callback callback) = 0;
    // Cancels a pending event. When its callback is running on another
    // thread, returns only after it has finished, so whatever the callback
    // uses may be freed afterwards. Returns false when the id was not pending.
    virtual bool KillEvent(std::uint32_t id) = 0;
    virtual Clock::time_point Now() const = 0;
    virtual void Sleep(std::uint32_t milliseconds) = 0;
    // Sleeps like Sleep, but ends early once stopAsked() is true, which is
    // looked at every few milliseconds: a long pause that a stop must cut short.
    virtual void SleepUnless(std::uint32_t milliseconds, const std::function<bool()>& stopAsked) = 0;
};

void InstallTimer(OneShotTimer* timer);  // nullptr restores the thread timer
OneShotTimer& CurrentTimer();

}  // namespace solvane
