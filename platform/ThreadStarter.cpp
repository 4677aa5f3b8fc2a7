#include "platform/ThreadStarter.h"

#include <atomic>
#include <system_error>
#include <thread>
#include <utility>

namespace solvane {
namespace {

class StandardThreads : public ThreadStarter {
public:
    bool Start(std::function<void()> work) override {
        try {
            std::thread(std::move(work)).detach();
            return true;
        } catch (const std::system_error&) {
            return false;
        }
    }
};

StandardThreads g_standardThreads;
std::atomic<ThreadStarter*> g_starter{nullptr};

}  // namespace

void InstallThreadStarter(ThreadStarter* starter) { g_starter.store(starter); }

ThreadStarter& CurrentThreadStarter() {
    ThreadStarter* starter = g_starter.load();
    return starter != nullptr ? *starter : g_standardThreads;
}

}  // namespace solvane
