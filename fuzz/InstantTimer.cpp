#include "fuzz/InstantTimer.h"

#include <algorithm>
#include <cstdio>
#include <utility>

namespace solvane::fuzz {

InstantTimer::InstantTimer() : now_(Clock::now()) { InstallTimer(this); }

InstantTimer::~InstantTimer() { InstallTimer(nullptr); }

std::uint32_t InstantTimer::SetEventAt(Clock::time_point due, std::uint32_t, Callback callback) {
    const std::uint32_t id = ++nextId_;
    pending_.push_back({due, id, std::move(callback)});
    std::push_heap(pending_.begin(), pending_.end(), Later);
    return id;
}

bool InstantTimer::KillEvent(std::uint32_t id) {
    const auto it = std::find_if(pending_.begin(), pending_.end(), [id](const Event& e) { return e.id == id; });
    if (it != pending_.end()) {
        pending_.erase(it);
        std::make_heap(pending_.begin(), pending_.end(), Later);
        return true;
    }
    if (id == running_) {
        std::fprintf(stderr, "solvane fuzz: a timer callback cancels its own event\n");
        __builtin_trap();
    }
    return false;
}

bool InstantTimer::FireNext() {
    if (pending_.empty()) return false;
    std::pop_heap(pending_.begin(), pending_.end(), Later);
    Event event = std::move(pending_.back());
    pending_.pop_back();
    now_ = std::max(now_, event.due);
    running_ = event.id;
    event.callback(event.id, event.due);
    running_ = 0;
    return true;
}

int InstantTimer::FireAll(int limit) {
    int fired = 0;
    while (fired < limit && FireNext()) ++fired;
    return fired;
}

}  // namespace solvane::fuzz
