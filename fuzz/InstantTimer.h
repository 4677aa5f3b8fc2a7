#pragma once
// The load-play target's timer: events fire only when the target calls
// FireNext, on its own thread, at a virtual time, earliest first (by id when
// due together); sleeps return at once. It keeps only the pending events, in
// a heap, so a song of thousands of events costs no record per event and no
// lock. Installed for its lifetime; used from one thread.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/OneShotTimer.h"

namespace solvane::fuzz {

class InstantTimer : public OneShotTimer {
public:
    InstantTimer();
    ~InstantTimer() override;
    InstantTimer(const InstantTimer&) = delete;
    InstantTimer& operator=(const InstantTimer&) = delete;

    std::uint32_t MinPeriod() const override { return 1; }
    std::uint32_t MaxPeriod() const override { return 1000000; }
    void BeginPeriod(std::uint32_t) override {}
    void EndPeriod(std::uint32_t) override {}
    std::uint32_t SetEventAt(Clock::time_point due, std::uint32_t resolution, Callback callback) override;
    // A callback that cancels its own event would wait for itself for ever
    // on a real timer: that stops the run.
    bool KillEvent(std::uint32_t id) override;
    Clock::time_point Now() const override { return now_; }
    void Sleep(std::uint32_t) override {}
    void SleepUnless(std::uint32_t, const std::function<bool()>&) override {}

    // Fires the earliest pending event (time moves to its due time); false when none.
    bool FireNext();
    // Fires events until none is pending or limit callbacks ran; returns how many ran.
    int FireAll(int limit);
    std::size_t pendingCount() const { return pending_.size(); }

private:
    // The heap holds plain keys; each callback stays in its slot from arming
    // to firing, so it is moved once in and once out, whatever the heap does.
    struct Key {
        Clock::time_point due;
        std::uint32_t id;
        std::uint32_t slot;
    };
    // The heap's order: the latest last, so the earliest is at the front.
    static bool Later(const Key& a, const Key& b) { return a.due > b.due || (a.due == b.due && a.id > b.id); }

    std::vector<Key> pending_;
    std::vector<Callback> slots_;
    std::vector<std::uint32_t> freeSlots_;
    Clock::time_point now_;
    std::uint32_t nextId_ = 0;
    std::uint32_t running_ = 0;
};

}  // namespace solvane::fuzz
