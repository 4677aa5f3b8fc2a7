#include "platform/VirtualTimer.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

namespace solvane {
namespace {

using std::chrono::milliseconds;
using ::testing::ElementsAre;

// What fired, as "name@ms" on the timer's clock.
struct Log {
    VirtualTimer& timer;
    std::vector<std::string> fired;
    OneShotTimer::Callback Note(std::string name) {
        return [this, name](std::uint32_t, OneShotTimer::Clock::time_point due) {
            EXPECT_EQ(due, timer.Now());
            fired.push_back(name + "@" + std::to_string(std::chrono::duration_cast<milliseconds>(timer.Elapsed()).count()));
        };
    }
};

// Events fire by due time (ties in the order armed), each with the clock
// set to it; a sleep moves the clock on; a cancelled event never fires; one
// armed by a callback fires in the same run, and one due in the past at once.
TEST(VirtualTimer, FiresEventsInTimeOrderOnItsOwnClock) {
    VirtualTimer timer;
    Log log{timer, {}};
    const auto start = timer.Now();
    timer.Sleep(30);
    timer.SleepUnless(1000, [] { return true; });  // a stop already asked: no pause
    timer.SetEventAt(start + milliseconds(50), 1, log.Note("b"));
    timer.SetEventAt(start + milliseconds(40), 1, log.Note("a"));
    timer.SetEventAt(start + milliseconds(50), 1, log.Note("c"));
    const std::uint32_t dropped = timer.SetEventAt(start + milliseconds(45), 1, log.Note("dropped"));
    timer.SetEventAt(start + milliseconds(60), 1, [&](std::uint32_t, OneShotTimer::Clock::time_point) {
        log.fired.push_back("chain@60");
        timer.SetEventAt(timer.Now() + milliseconds(15), 1, log.Note("next"));
        timer.SetEventAt(start, 1, log.Note("late"));
    });
    EXPECT_NE(dropped, 0u);
    EXPECT_TRUE(timer.KillEvent(dropped));
    EXPECT_FALSE(timer.KillEvent(dropped));
    EXPECT_EQ(timer.Elapsed(), milliseconds(30));
    EXPECT_EQ(timer.RunUntilIdle(), 6u);
    EXPECT_THAT(log.fired, ElementsAre("a@40", "b@50", "c@50", "chain@60", "late@60", "next@75"));
    EXPECT_EQ(timer.Elapsed(), milliseconds(75));
    EXPECT_EQ(timer.RunUntilIdle(), 0u);

    // A stop asked ends the run before the next event; what is left stays pending.
    timer.SetEventAt(timer.Now() + milliseconds(5), 1, log.Note("stopped"));
    EXPECT_EQ(timer.RunUntilIdle([] { return true; }), 0u);
    EXPECT_EQ(timer.RunUntilIdle(), 1u);
    EXPECT_EQ(log.fired.back(), "stopped@80");
}

}  // namespace
}  // namespace solvane
