#pragma once
// The window's timer: the thread timer's one-shot events, and a sleep that,
// on the user-interface thread, keeps delivering posted work (no user input).
// Stop and the start of a play wait on the UI thread in 100 ms steps; a
// worker or timer callback that shows a message box meanwhile needs the UI
// thread to do so, and would otherwise wait on it for ever. The window
// keeps painting meanwhile, while the user cannot press a button in the
// middle of Stop.

#include <memory>

#include "platform/OneShotTimer.h"
#include "platform/ThreadTimer.h"

namespace solvane {

class UiTimer : public OneShotTimer {
public:
    std::uint32_t MinPeriod() const override { return timer_.MinPeriod(); }
    std::uint32_t MaxPeriod() const override { return timer_.MaxPeriod(); }
    void BeginPeriod(std::uint32_t milliseconds) override { timer_.BeginPeriod(milliseconds); }
    void EndPeriod(std::uint32_t milliseconds) override { timer_.EndPeriod(milliseconds); }
    std::uint32_t SetEventAt(Clock::time_point due, std::uint32_t resolution, Callback callback) override {
        return timer_.SetEventAt(due, resolution, std::move(callback));
    }
    bool KillEvent(std::uint32_t id) override { return timer_.KillEvent(id); }
    Clock::time_point Now() const override { return timer_.Now(); }
    void Sleep(std::uint32_t milliseconds) override;
    void SleepUnless(std::uint32_t milliseconds, const std::function<bool()>& stopAsked) override;

private:
    void ServeWhileSleeping(std::uint32_t milliseconds, const std::function<bool()>& stopAsked);

    ThreadTimer timer_;
};

}  // namespace solvane
