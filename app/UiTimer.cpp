#include "app/UiTimer.h"

#include <QCoreApplication>
#include <QThread>
#include <algorithm>
#include <chrono>
#include <thread>

namespace solvane {

void UiTimer::Sleep(std::uint32_t milliseconds) {
    QCoreApplication* app = QCoreApplication::instance();
    if (app == nullptr || QThread::currentThread() != app->thread()) {
        timer_.Sleep(milliseconds);
        return;
    }
    const auto deadline = Clock::now() + std::chrono::milliseconds(milliseconds);
    for (;;) {
        // Posted work only: the user cannot press a button in the middle of Stop.
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
        const auto now = Clock::now();
        if (now >= deadline) return;
        std::this_thread::sleep_for(std::min<Clock::duration>(deadline - now, std::chrono::milliseconds(5)));
    }
}

}  // namespace solvane
