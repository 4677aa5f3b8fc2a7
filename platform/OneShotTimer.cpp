#include "platform/OneShotTimer.h"

#include "platform/Installed.h"
#include "platform/ThreadTimer.h"

namespace solvane {
namespace {

// Made on first use, so a program that never plays starts no thread.
OneShotTimer& DefaultTimer() {
    static ThreadTimer timer;
    return timer;
}

}  // namespace

void InstallTimer(OneShotTimer* timer) { Installed<OneShotTimer>::Install(timer); }

OneShotTimer& CurrentTimer() {
    OneShotTimer* timer = Installed<OneShotTimer>::Current();
    return timer != nullptr ? *timer : DefaultTimer();
}

}  // namespace solvane
