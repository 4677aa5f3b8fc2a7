#include "platform/OneShotTimer.h"

#include <gtest/gtest.h>

#include "platform/ThreadTimer.h"
#include "tests/support/ManualTimer.h"

namespace solvane {
namespace {

TEST(TimerRegistry, WithoutAnInstalledTimerTheThreadTimerServes) {
    InstallTimer(nullptr);
    EXPECT_NE(dynamic_cast<ThreadTimer*>(&CurrentTimer()), nullptr);
    EXPECT_EQ(&CurrentTimer(), &CurrentTimer()) << "one process-wide timer, not one per call";
}

TEST(TimerRegistry, AnInstalledTimerServesUntilRemoved) {
    InstallTimer(nullptr);
    OneShotTimer* const standard = &CurrentTimer();
    test::ManualTimer manual;  // installs itself
    EXPECT_EQ(&CurrentTimer(), &manual);
    InstallTimer(nullptr);
    EXPECT_EQ(&CurrentTimer(), standard);
}

}  // namespace
}  // namespace solvane
