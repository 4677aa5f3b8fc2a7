#pragma once
// A timer the test drives: events fire only when the test calls FireNext, on
// the test's thread, at a virtual time. Sleeps return at once (unless a gate
// holds sleeps of one length; an interruptible sleep also leaves the gate
// once its stop is asked) and are recorded per thread. Installed for its
// lifetime.

#include <condition_variable>
#include <cstdint>
#include <map>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

#include "platform/OneShotTimer.h"

namespace solvane::test {

class ManualTimer : public OneShotTimer {
public:
    struct Armed {
        std::uint32_t id;
        Clock::time_point due;
        std::uint32_t resolution;
    };
    struct Slept {
        std::thread::id thread;
        std::uint32_t milliseconds;
    };

    ManualTimer();
    ~ManualTimer() override;

    std::uint32_t MinPeriod() const override { return minPeriod; }
    std::uint32_t MaxPeriod() const override { return 1000000; }
    void BeginPeriod(std::uint32_t milliseconds) override;
    void EndPeriod(std::uint32_t milliseconds) override;
    std::uint32_t SetEventAt(Clock::time_point due, std::uint32_t resolution, Callback callback) override;
    bool KillEvent(std::uint32_t id) override;
    Clock::time_point Now() const override;
    void Sleep(std::uint32_t milliseconds) override;
    void SleepUnless(std::uint32_t milliseconds, const std::function<bool()>& stopAsked) override;

    // Fires the earliest pending event (time moves to its due time); false when none.
    bool FireNext();
    // Fires events until none is pending or limit callbacks ran; returns how many ran.
    int FireAll(int limit = 1000000);
    std::vector<Armed> pending() const;
    std::vector<Armed> armed() const;  // every event ever set, in order
    std::vector<std::uint32_t> killed() const;
    std::vector<Slept> sleeps() const;
    int SleepCount(std::thread::id thread, std::uint32_t milliseconds) const;
    std::vector<std::uint32_t> periodsBegun() const;
    std::vector<std::uint32_t> periodsEnded() const;
    // Moves the virtual clock on, e.g. to simulate a callback held up.
    void Advance(std::chrono::milliseconds by);
    // Sleeps of exactly a closed length block until that gate opens.
    void CloseGate(std::uint32_t milliseconds);
    void OpenGate(std::uint32_t milliseconds);
    // Lets the sleeper that came to the closed gate first go on (as its
    // sleep would end first); the gate stays closed for the others.
    void PassOne(std::uint32_t milliseconds);
    int waitingAtGate(std::uint32_t milliseconds) const;
    // Interruptible sleeps that left a closed gate because their stop was asked.
    int sleepsCutShort() const;

    std::uint32_t minPeriod = 1;
    bool refuseEvents = false;  // SetEventAt answers 0
    const Clock::time_point start;

private:
    struct Event {
        Armed armed;
        Callback callback;
    };
    void SleepAt(std::uint32_t milliseconds, const std::function<bool()>* stopAsked);

    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<Event> pending_;
    std::vector<Armed> armed_;
    std::vector<std::uint32_t> killed_;
    std::vector<Slept> sleeps_;
    std::vector<std::uint32_t> begun_;
    std::vector<std::uint32_t> ended_;
    Clock::time_point now_;
    std::uint32_t nextId_ = 0;
    std::uint32_t running_ = 0;
    std::set<std::uint32_t> gates_;
    std::vector<std::uint32_t> waiting_;
    std::map<std::uint32_t, std::uint64_t> arrived_;  // sleepers come to each closed gate
    std::map<std::uint32_t, std::uint64_t> passed_;   // how many of them, first come first, may go on
    int cutShort_ = 0;
};

}  // namespace solvane::test
