#include "fuzz/InstantTimer.h"

#include <algorithm>
#include <cstdio>
#include <utility>

namespace solvane::fuzz {

InstantTimer::InstantTimer() : now_(Clock::now()) { InstallTimer(this); }

InstantTimer::~InstantTimer() { InstallTimer(nullptr); }

std::uint32_t InstantTimer::SetEventAt(Clock::time_point due, std::uint32_t, Callback callback) {
    std::uint32_t slot = 0;
    if (freeSlots_.empty()) {
        slot = static_cast<std::uint32_t>(slots_.size());
        slots_.push_back(std::move(callback));
    } else {
        slot = freeSlots_.back();
        freeSlots_.pop_back();
        slots_[slot] = std::move(callback);
    }
    const std::uint32_t id = ++nextId_;
    pending_.push_back({due, id, slot});
    std::push_heap(pending_.begin(), pending_.end(), Later);
    return id;
}

bool InstantTimer::KillEvent(std::uint32_t id) {
    const auto it = std::find_if(pending_.begin(), pending_.end(), [id](const Key& k) { return k.id == id; });
    if (it != pending_.end()) {
        slots_[it->slot] = nullptr;
        freeSlots_.push_back(it->slot);
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
    const Key key = pending_.back();
    pending_.pop_back();
    // Out of its slot first: the callback may arm the next event, which may take the slot.
    Callback callback = std::move(slots_[key.slot]);
    freeSlots_.push_back(key.slot);
    now_ = std::max(now_, key.due);
    running_ = key.id;
    callback(key.id, key.due);
    running_ = 0;
    return true;
}

int InstantTimer::FireAll(int limit) {
    int fired = 0;
    while (fired < limit && FireNext()) ++fired;
    return fired;
}

}  // namespace solvane::fuzz
