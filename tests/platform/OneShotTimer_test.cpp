#include "platform/OneShotTimer.h"

#include <gtest/gtest.h>

#include "platform/ThreadTimer.h"

namespace solvane {
namespace {

// A timer that only answers who it is.
class MarkedTimer : public OneShotTimer {
public:
    std::uint32_t MinPeriod() const override { return 7; }
    std::uint32_t MaxPeriod() const override { return 7; }
    void BeginPeriod(std::uint32_t) override {}
    void EndPeriod(std::uint32_t) override {}
    std::uint32_t SetEventAt(Clock::time_point, std::uint32_t, Callback) override { return 0; }
    bool KillEvent(std::uint32_t) override { return false; }
    Clock::time_point Now() const override { return {}; }
    void Sleep(std::uint32_t) override {}
    void SleepUnless(std::uint32_t, const std::function<bool()>&) override {}
};

TEST(TimerRegistry, WithoutAnInstalledTimerTheThreadTimerServes) {
    InstallTimer(nullptr);
    EXPECT_NE(dynamic_cast<ThreadTimer*>(&CurrentTimer()), nullptr);
    EXPECT_EQ(&CurrentTimer(), &CurrentTimer()) << "one process-wide timer, not one per call";
}

TEST(TimerRegistry, AnInstalledTimerServesUntilRemoved) {
    InstallTimer(nullptr);
    OneShotTimer* const standard = &CurrentTimer();
    MarkedTimer marked;
    InstallTimer(&marked);
    EXPECT_EQ(&CurrentTimer(), &marked);
    InstallTimer(nullptr);
    EXPECT_EQ(&CurrentTimer(), standard);
}

}  // namespace
}  // namespace solvane
