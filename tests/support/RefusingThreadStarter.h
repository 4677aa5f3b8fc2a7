#pragma once
// A thread starter that refuses every thread, as a system out of threads
// does, and counts the refusals. Installed for its lifetime.

#include <atomic>
#include <functional>

#include "platform/ThreadStarter.h"

namespace solvane::test {

class RefusingThreadStarter : public ThreadStarter {
public:
    RefusingThreadStarter() { InstallThreadStarter(this); }
    ~RefusingThreadStarter() override { InstallThreadStarter(nullptr); }
    bool Start(std::function<void()>) override {
        ++refused;
        return false;
    }
    std::atomic<int> refused{0};
};

}  // namespace solvane::test
