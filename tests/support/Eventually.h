#pragma once
// Waits in real time for a condition that another thread brings about,
// looking every 200 microseconds so that a test can act on a state that
// lasts only a moment.

#include <chrono>
#include <thread>

namespace solvane::test {

// False when the condition was still not met after limit.
template <typename Predicate>
bool Eventually(Predicate done, std::chrono::milliseconds limit = std::chrono::seconds(5)) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    return true;
}

}  // namespace solvane::test
