#include "platform/ThreadTimer.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

namespace solvane {
namespace {

using ::testing::ElementsAre;
using Clock = OneShotTimer::Clock;
using std::chrono::milliseconds;

// Generous: only a broken timer takes this long, never a slow machine.
constexpr auto kGiveUp = std::chrono::seconds(10);

// What the callbacks saw, shared with the test thread.
struct Firings {
    struct Firing {
        int tag;
        std::uint32_t id;
        Clock::time_point due;
        Clock::time_point at;
        std::thread::id thread;
    };

    OneShotTimer::Callback Record(int tag) {
        return [this, tag](std::uint32_t id, Clock::time_point due) {
            const Clock::time_point at = Clock::now();
            std::lock_guard lock(mutex);
            list.push_back({tag, id, due, at, std::this_thread::get_id()});
            changed.notify_all();
        };
    }

    bool WaitFor(std::size_t count) {
        std::unique_lock lock(mutex);
        return changed.wait_for(lock, kGiveUp, [&] { return list.size() >= count; });
    }

    std::vector<int> Tags() {
        std::lock_guard lock(mutex);
        std::vector<int> tags;
        for (const Firing& firing : list) tags.push_back(firing.tag);
        return tags;
    }

    std::mutex mutex;
    std::condition_variable changed;
    std::vector<Firing> list;
};

// A flag one thread raises and another waits for, with a way out.
struct Signal {
    void Raise() {
        std::lock_guard lock(mutex);
        raised = true;
        changed.notify_all();
    }
    bool Wait() {
        std::unique_lock lock(mutex);
        return changed.wait_for(lock, kGiveUp, [&] { return raised; });
    }
    std::mutex mutex;
    std::condition_variable changed;
    bool raised = false;
};

TEST(ThreadTimer, EventsFireInDueOrderWhateverTheArmingOrder) {
    Firings firings;
    ThreadTimer timer;  // after what its callbacks use, so it stops first
    const Clock::time_point start = timer.Now();
    timer.SetEventAt(start + milliseconds(60), 1, firings.Record(3));
    timer.SetEventAt(start + milliseconds(20), 1, firings.Record(1));
    timer.SetEventAt(start + milliseconds(80), 1, firings.Record(4));
    timer.SetEventAt(start + milliseconds(40), 1, firings.Record(2));
    ASSERT_TRUE(firings.WaitFor(4));
    EXPECT_THAT(firings.Tags(), ElementsAre(1, 2, 3, 4));
}

TEST(ThreadTimer, EventsDueAtTheSameTimeFireInArmingOrder) {
    Firings firings;
    ThreadTimer timer;
    const Clock::time_point due = timer.Now() + milliseconds(30);
    for (int tag = 0; tag < 5; ++tag) timer.SetEventAt(due, 1, firings.Record(tag));
    ASSERT_TRUE(firings.WaitFor(5));
    EXPECT_THAT(firings.Tags(), ElementsAre(0, 1, 2, 3, 4));
}

TEST(ThreadTimer, NoCallbackRunsBeforeItsDueTime) {
    Firings firings;
    ThreadTimer timer;
    const Clock::time_point start = timer.Now();
    std::vector<Clock::time_point> armed;
    for (int i = 0; i < 20; ++i) {
        armed.push_back(start + milliseconds(5 + (i * 7) % 45));
        timer.SetEventAt(armed.back(), 1, firings.Record(i));
    }
    ASSERT_TRUE(firings.WaitFor(armed.size()));
    std::lock_guard lock(firings.mutex);
    for (const Firings::Firing& firing : firings.list) {
        const Clock::time_point due = armed[static_cast<std::size_t>(firing.tag)];
        EXPECT_EQ(firing.due, due) << "event " << firing.tag << " told the wrong due time";
        EXPECT_GE(firing.at, due) << "event " << firing.tag << " fired early";
    }
}

TEST(ThreadTimer, AnEventAlreadyPastItsDueTimeFiresAtOnce) {
    Firings firings;
    ThreadTimer timer;
    timer.SetEventAt(timer.Now() - milliseconds(50), 1, firings.Record(7));
    ASSERT_TRUE(firings.WaitFor(1));
    EXPECT_THAT(firings.Tags(), ElementsAre(7));
}

TEST(ThreadTimer, EveryCallbackIsToldItsOwnId) {
    Firings firings;
    ThreadTimer timer;
    const Clock::time_point start = timer.Now();
    std::vector<std::uint32_t> ids;
    for (int i = 0; i < 4; ++i) ids.push_back(timer.SetEventAt(start + milliseconds(10 * (i + 1)), 1, firings.Record(i)));
    ASSERT_TRUE(firings.WaitFor(4));
    std::lock_guard lock(firings.mutex);
    for (const Firings::Firing& firing : firings.list) EXPECT_EQ(firing.id, ids[static_cast<std::size_t>(firing.tag)]);
}

TEST(ThreadTimer, IdsAreNonZeroAndDistinct) {
    Firings firings;
    ThreadTimer timer;
    const Clock::time_point later = timer.Now() + std::chrono::hours(1);
    std::set<std::uint32_t> ids;
    for (int i = 0; i < 200; ++i) {
        const std::uint32_t id = timer.SetEventAt(later, 1, firings.Record(i));
        EXPECT_NE(id, 0u);
        ids.insert(id);
    }
    EXPECT_EQ(ids.size(), 200u);
    for (std::uint32_t id : ids) EXPECT_TRUE(timer.KillEvent(id));
}

TEST(ThreadTimer, AnEventWithoutCallbackIsRefused) {
    ThreadTimer timer;
    EXPECT_EQ(timer.SetEventAt(timer.Now(), 1, nullptr), 0u);
}

TEST(ThreadTimer, KillingAPendingEventKeepsItFromFiring) {
    Firings firings;
    ThreadTimer timer;
    const Clock::time_point start = timer.Now();
    const std::uint32_t killed = timer.SetEventAt(start + milliseconds(20), 1, firings.Record(1));
    timer.SetEventAt(start + milliseconds(60), 1, firings.Record(2));
    EXPECT_TRUE(timer.KillEvent(killed));
    EXPECT_FALSE(timer.KillEvent(killed)) << "a cancelled event is no longer pending";
    ASSERT_TRUE(firings.WaitFor(1));
    timer.Sleep(30);
    EXPECT_THAT(firings.Tags(), ElementsAre(2));
}

TEST(ThreadTimer, KillingTheEarliestEventLetsTheNextFireOnTime) {
    Firings firings;
    ThreadTimer timer;
    const Clock::time_point start = timer.Now();
    const std::uint32_t first = timer.SetEventAt(start + milliseconds(500), 1, firings.Record(1));
    const Clock::time_point secondDue = start + milliseconds(520);
    timer.SetEventAt(secondDue, 1, firings.Record(2));
    timer.KillEvent(first);
    ASSERT_TRUE(firings.WaitFor(1));
    EXPECT_THAT(firings.Tags(), ElementsAre(2));
    std::lock_guard lock(firings.mutex);
    EXPECT_GE(firings.list[0].at, secondDue);
}

TEST(ThreadTimer, KillingAnEventThatFiredReportsItWasNotPending) {
    Firings firings;
    ThreadTimer timer;
    const std::uint32_t id = timer.SetEventAt(timer.Now(), 1, firings.Record(1));
    ASSERT_TRUE(firings.WaitFor(1));
    timer.Sleep(10);  // the callback has returned by now
    EXPECT_FALSE(timer.KillEvent(id));
    EXPECT_FALSE(timer.KillEvent(0));
}

TEST(ThreadTimer, AnEarlierEventArmedWhileWaitingDoesNotWaitForTheLaterOne) {
    Firings firings;
    ThreadTimer timer;
    const Clock::time_point start = timer.Now();
    const Clock::time_point lateDue = start + milliseconds(1000);
    timer.SetEventAt(lateDue, 1, firings.Record(2));
    timer.Sleep(20);  // the timer thread now sleeps towards the later event
    timer.SetEventAt(start + milliseconds(60), 1, firings.Record(1));
    ASSERT_TRUE(firings.WaitFor(1));
    std::lock_guard lock(firings.mutex);
    EXPECT_EQ(firings.list[0].tag, 1);
    EXPECT_LT(firings.list[0].at, lateDue - milliseconds(500)) << "the sleeping timer thread was not woken";
}

TEST(ThreadTimer, KillFromAnotherThreadWaitsForTheRunningCallback) {
    Signal started;
    std::atomic<bool> finished{false};
    ThreadTimer timer;
    const std::uint32_t id = timer.SetEventAt(timer.Now(), 1, [&](std::uint32_t, Clock::time_point) {
        started.Raise();
        std::this_thread::sleep_for(milliseconds(150));
        finished = true;
    });
    ASSERT_TRUE(started.Wait());
    EXPECT_FALSE(timer.KillEvent(id)) << "a running event is not pending";
    EXPECT_TRUE(finished) << "KillEvent returned while the callback still ran";
}

TEST(ThreadTimer, KillFromInsideItsOwnCallbackDoesNotDeadlock) {
    Signal done;
    std::atomic<bool> result{true};
    auto timer = std::make_unique<ThreadTimer>();
    timer->SetEventAt(timer->Now() + milliseconds(20), 1, [&](std::uint32_t id, Clock::time_point) {
        result = timer->KillEvent(id);
        done.Raise();
    });
    if (!done.Wait()) {
        (void)timer.release();  // its thread is stuck; joining it would hang the run
        FAIL() << "KillEvent from inside the callback never returned";
    }
    EXPECT_FALSE(result);
}

TEST(ThreadTimer, ACallbackCanCancelAnotherPendingEvent) {
    Firings firings;
    std::atomic<bool> killed{false};
    ThreadTimer timer;
    const Clock::time_point start = timer.Now();
    const std::uint32_t victim = timer.SetEventAt(start + milliseconds(80), 1, firings.Record(2));
    timer.SetEventAt(start + milliseconds(20), 1,
                     [&](std::uint32_t, Clock::time_point) { killed = timer.KillEvent(victim); });
    timer.SetEventAt(start + milliseconds(120), 1, firings.Record(3));
    ASSERT_TRUE(firings.WaitFor(1));
    EXPECT_TRUE(killed);
    EXPECT_THAT(firings.Tags(), ElementsAre(3));
}

TEST(ThreadTimer, ACallbackCanArmItsSuccessor) {
    Firings firings;
    ThreadTimer timer;
    std::atomic<int> count{0};
    OneShotTimer::Callback step;
    step = [&](std::uint32_t id, Clock::time_point due) {
        firings.Record(count)(id, due);
        if (++count < 5) timer.SetEventAt(due + milliseconds(5), 1, step);
    };
    timer.SetEventAt(timer.Now() + milliseconds(5), 1, step);
    ASSERT_TRUE(firings.WaitFor(5));
    EXPECT_THAT(firings.Tags(), ElementsAre(0, 1, 2, 3, 4));
    std::lock_guard lock(firings.mutex);
    for (std::size_t i = 1; i < firings.list.size(); ++i) {
        EXPECT_EQ(firings.list[i].due - firings.list[i - 1].due, milliseconds(5)) << "the chain drifts";
    }
}

TEST(ThreadTimer, CallbacksRunOneAtATimeOnOneThreadThatIsNotTheCaller) {
    Firings firings;
    ThreadTimer timer;
    std::atomic<int> running{0};
    std::atomic<int> overlaps{0};
    const Clock::time_point due = timer.Now() + milliseconds(10);
    for (int i = 0; i < 6; ++i) {
        timer.SetEventAt(due, 1, [&, i](std::uint32_t id, Clock::time_point when) {
            if (++running > 1) ++overlaps;
            std::this_thread::sleep_for(milliseconds(5));
            --running;
            firings.Record(i)(id, when);
        });
    }
    ASSERT_TRUE(firings.WaitFor(6));
    EXPECT_EQ(overlaps, 0);
    std::lock_guard lock(firings.mutex);
    for (const Firings::Firing& firing : firings.list) {
        EXPECT_EQ(firing.thread, firings.list[0].thread);
        EXPECT_NE(firing.thread, std::this_thread::get_id());
    }
}

TEST(ThreadTimer, DestroyingTheTimerDropsPendingEvents) {
    std::atomic<bool> fired{false};
    {
        ThreadTimer timer;
        timer.SetEventAt(timer.Now() + milliseconds(100), 1, [&](std::uint32_t, Clock::time_point) { fired = true; });
    }
    std::this_thread::sleep_for(milliseconds(150));
    EXPECT_FALSE(fired);
}

TEST(ThreadTimer, SleepLastsAtLeastTheTimeAsked) {
    ThreadTimer timer;
    for (std::uint32_t ms : {0u, 1u, 25u}) {
        Clock::time_point before = Clock::now();
        timer.Sleep(ms);
        EXPECT_GE(Clock::now() - before, milliseconds(ms));
        before = Clock::now();
        timer.SleepUnless(ms, [] { return false; });
        EXPECT_GE(Clock::now() - before, milliseconds(ms)) << "an interruptible sleep nobody stops";
    }
}

TEST(ThreadTimer, AnInterruptibleSleepEndsOnceItsStopIsAsked) {
    ThreadTimer timer;
    std::atomic<bool> asked{false};
    std::thread asker([&] {
        std::this_thread::sleep_for(milliseconds(20));
        asked = true;
    });
    const Clock::time_point before = Clock::now();
    timer.SleepUnless(600'000, [&] { return asked.load(); });
    const Clock::duration took = Clock::now() - before;
    asker.join();
    EXPECT_GE(took, milliseconds(20)) << "ended before the stop";
    EXPECT_LT(took, kGiveUp) << "slept on after the stop";
}

TEST(ThreadTimer, PeriodsDescribeAOneMillisecondTimer) {
    Firings firings;
    ThreadTimer timer;
    EXPECT_EQ(timer.MinPeriod(), 1u);
    EXPECT_GE(timer.MaxPeriod(), 1000u);
    // Asking for a resolution changes nothing and must not disturb events.
    timer.BeginPeriod(1);
    timer.SetEventAt(timer.Now() + milliseconds(5), 1, firings.Record(1));
    ASSERT_TRUE(firings.WaitFor(1));
    timer.EndPeriod(1);
}

TEST(ThreadTimer, NowFollowsTheSteadyClock) {
    ThreadTimer timer;
    const Clock::time_point before = Clock::now();
    const Clock::time_point now = timer.Now();
    EXPECT_LE(before, now);
    EXPECT_LE(now, Clock::now());
}

}  // namespace
}  // namespace solvane
