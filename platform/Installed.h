#pragma once
// The one implementation of a system interface that the whole process uses:
// the window, the command line and the tests install theirs at start-up, and
// the core asks for the current one. Installing nullptr goes back to none
// (each interface says what it does then). Safe from any thread.

#include <atomic>

namespace solvane {

template <class Interface>
class Installed {
public:
    static void Install(Interface* implementation) { Slot().store(implementation); }
    static Interface* Current() { return Slot().load(); }

private:
    static std::atomic<Interface*>& Slot() {
        static std::atomic<Interface*> slot{nullptr};
        return slot;
    }
};

}  // namespace solvane
