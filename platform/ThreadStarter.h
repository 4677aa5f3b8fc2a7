#pragma once
// Starts the playback's worker threads: each runs at once and is not kept, as
// it ends by itself. The system can refuse a thread (too many threads, no
// memory for a stack); the caller is told so and reports it. One starter is
// installed for the whole process; the default starts standard threads.

#include <functional>

namespace solvane {

class ThreadStarter {
public:
    virtual ~ThreadStarter() = default;
    // Runs work on a new thread. False when no thread could be started; work
    // has then been dropped without running.
    virtual bool Start(std::function<void()> work) = 0;
};

// nullptr restores the standard threads. The caller keeps the starter alive
// while it is installed.
void InstallThreadStarter(ThreadStarter* starter);
ThreadStarter& CurrentThreadStarter();

}  // namespace solvane
