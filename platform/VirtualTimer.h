#pragma once
// A one-shot timer on a clock of its own that stands still until the owner
// runs it: RunUntilIdle fires the pending events in the order they are due,
// each at once with the clock set to its due time, and a sleep moves the
// clock on by its length. So the sequencer's walk over a song takes as long
// as its work, and the clock then reads the time the play would have taken.
// Used from one thread; installed by its user (InstallTimer) for a walk.

#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

#include "platform/OneShotTimer.h"

namespace solvane {

class VirtualTimer : public OneShotTimer {
public:
    VirtualTimer() = default;
    VirtualTimer(const VirtualTimer&) = delete;
    VirtualTimer& operator=(const VirtualTimer&) = delete;

    // The thread timer's, so that a walk stalls where a real play does.
    std::uint32_t MinPeriod() const override { return 1; }
    std::uint32_t MaxPeriod() const override { return 1000000; }
    void BeginPeriod(std::uint32_t) override {}
    void EndPeriod(std::uint32_t) override {}
    std::uint32_t SetEventAt(Clock::time_point due, std::uint32_t resolution, Callback callback) override;
    bool KillEvent(std::uint32_t id) override;
    Clock::time_point Now() const override { return now_; }
    void Sleep(std::uint32_t milliseconds) override;
    void SleepUnless(std::uint32_t milliseconds, const std::function<bool()>& stopAsked) override;

    // Fires events, those they arm included, until none is pending or stop
    // (asked before each) says so; returns how many fired.
    std::uint64_t RunUntilIdle(const std::function<bool()>& stop = {});
    // How far the clock has moved since the timer was made.
    Clock::duration Elapsed() const { return now_ - start_; }

    // Events armed and neither fired nor killed yet.
    std::size_t PendingCount() const { return pending_.size(); }

private:
    // A walk arms an event for nearly every message, so the pending events
    // are plain keys in a heap, and each callback stays in a slot from arming
    // to firing: nothing is allocated per event once the slots are there.
    struct Key {
        Clock::time_point due;
        std::uint32_t id;
        std::uint32_t slot;
    };
    // The earliest at the front; events due together fire in the order they were armed.
    static bool Later(const Key& a, const Key& b) { return a.due != b.due ? a.due > b.due : a.id > b.id; }

    std::vector<Key> pending_;
    std::vector<Callback> slots_;
    std::vector<std::uint32_t> freeSlots_;
    const Clock::time_point start_ = Clock::now();
    Clock::time_point now_ = start_;
    std::uint32_t nextId_ = 0;
};

}  // namespace solvane
