#include "platform/OneShotTimer.h"

#include <atomic>

#include "platform/ThreadTimer.h"

namespace solvane {
namespace {

std::atomic<OneShotTimer*> g_timer{nullptr};

// Made on first use, so a program that never plays starts no thread.
OneShotTimer& DefaultTimer() {
    static ThreadTimer timer;
    return timer;
}

}  // namespace

void InstallTimer(OneShotTimer* timer) { g_timer.store(timer); }

OneShotTimer& CurrentTimer() {
    OneShotTimer* timer = g_timer.load();
    return timer != nullptr ? *timer : DefaultTimer();
}

}  // namespace solvane
