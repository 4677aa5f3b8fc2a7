#include "platform/VirtualTimer.h"

#include <algorithm>
#include <chrono>

namespace solvane {

std::uint32_t VirtualTimer::SetEventAt(Clock::time_point due, std::uint32_t /*resolution*/, Callback callback) {
    if (++nextId_ == 0) ++nextId_;  // 0 means "not set"
    // An event armed for a time already past fires now, as a late real one would.
    pending_.emplace(std::make_pair(std::max(due, now_), nextId_), std::move(callback));
    return nextId_;
}

bool VirtualTimer::KillEvent(std::uint32_t id) {
    const auto it = std::find_if(pending_.begin(), pending_.end(), [id](const auto& e) { return e.first.second == id; });
    if (it == pending_.end()) return false;
    pending_.erase(it);
    return true;
}

void VirtualTimer::Sleep(std::uint32_t milliseconds) { now_ += std::chrono::milliseconds(milliseconds); }

void VirtualTimer::SleepUnless(std::uint32_t milliseconds, const std::function<bool()>& stopAsked) {
    if (!stopAsked()) Sleep(milliseconds);
}

std::uint64_t VirtualTimer::RunUntilIdle(const std::function<bool()>& stop) {
    std::uint64_t fired = 0;
    while (!pending_.empty() && !(stop && stop())) {
        auto next = pending_.begin();
        const auto [due, id] = next->first;
        Callback callback = std::move(next->second);
        pending_.erase(next);
        now_ = due;
        callback(id, due);
        ++fired;
    }
    return fired;
}

}  // namespace solvane
