#include "platform/VirtualTimer.h"

#include <algorithm>
#include <chrono>

namespace solvane {

std::uint32_t VirtualTimer::SetEventAt(Clock::time_point due, std::uint32_t /*resolution*/, Callback callback) {
    if (++nextId_ == 0) ++nextId_;  // 0 means "not set"
    std::uint32_t slot = 0;
    if (freeSlots_.empty()) {
        slot = static_cast<std::uint32_t>(slots_.size());
        slots_.push_back(std::move(callback));
    } else {
        slot = freeSlots_.back();
        freeSlots_.pop_back();
        slots_[slot] = std::move(callback);
    }
    // An event armed for a time already past fires now, as a late real one would.
    pending_.push_back({std::max(due, now_), nextId_, slot});
    std::push_heap(pending_.begin(), pending_.end(), Later);
    return nextId_;
}

bool VirtualTimer::KillEvent(std::uint32_t id) {
    const auto it = std::find_if(pending_.begin(), pending_.end(), [id](const Key& key) { return key.id == id; });
    if (it == pending_.end()) return false;
    slots_[it->slot] = nullptr;
    freeSlots_.push_back(it->slot);
    pending_.erase(it);
    std::make_heap(pending_.begin(), pending_.end(), Later);
    return true;
}

void VirtualTimer::Sleep(std::uint32_t milliseconds) { now_ += std::chrono::milliseconds(milliseconds); }

void VirtualTimer::SleepUnless(std::uint32_t milliseconds, const std::function<bool()>& stopAsked) {
    if (!stopAsked()) Sleep(milliseconds);
}

std::uint64_t VirtualTimer::RunUntilIdle(const std::function<bool()>& stop) {
    std::uint64_t fired = 0;
    while (!pending_.empty() && !(stop && stop())) {
        std::pop_heap(pending_.begin(), pending_.end(), Later);
        const Key key = pending_.back();
        pending_.pop_back();
        // Out of its slot first: the callback may arm the next event into it.
        Callback callback = std::move(slots_[key.slot]);
        slots_[key.slot] = nullptr;
        freeSlots_.push_back(key.slot);
        now_ = key.due;
        callback(key.id, key.due);
        ++fired;
    }
    return fired;
}

}  // namespace solvane
