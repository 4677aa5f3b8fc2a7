#include "app/UiTimer.h"

#include <QCoreApplication>
#include <QThread>
#include <algorithm>
#include <chrono>
#include <thread>

namespace solvane {
namespace {

bool OnUiThread() {
    QCoreApplication* app = QCoreApplication::instance();
    return app != nullptr && QThread::currentThread() == app->thread();
}

}  // namespace

void UiTimer::Sleep(std::uint32_t milliseconds) {
    if (!OnUiThread()) {
        timer_.Sleep(milliseconds);
        return;
    }
    ServeWhileSleeping(milliseconds, [] { return false; });
}

void UiTimer::SleepUnless(std::uint32_t milliseconds, const std::function<bool()>& stopAsked) {
    if (!OnUiThread()) {
        timer_.SleepUnless(milliseconds, stopAsked);
        return;
    }
    ServeWhileSleeping(milliseconds, stopAsked);
}

void UiTimer::ServeWhileSleeping(std::uint32_t milliseconds, const std::function<bool()>& stopAsked) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(milliseconds);
    for (;;) {
        // Posted work, timers and painting only: the user cannot press a
        // button in the middle of Stop.
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
        const auto now = Clock::now();
        if (now >= deadline || stopAsked()) return;
        std::this_thread::sleep_for(std::min<Clock::duration>(deadline - now, std::chrono::milliseconds(5)));
    }
}

}  // namespace solvane
