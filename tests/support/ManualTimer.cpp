#include "tests/support/ManualTimer.h"

#include <algorithm>

namespace solvane::test {

ManualTimer::ManualTimer() : start(Clock::now()), now_(start) { InstallTimer(this); }

ManualTimer::~ManualTimer() { InstallTimer(nullptr); }

void ManualTimer::BeginPeriod(std::uint32_t milliseconds) {
    std::lock_guard lock(mutex_);
    begun_.push_back(milliseconds);
}

void ManualTimer::EndPeriod(std::uint32_t milliseconds) {
    std::lock_guard lock(mutex_);
    ended_.push_back(milliseconds);
}

std::uint32_t ManualTimer::SetEventAt(Clock::time_point due, std::uint32_t resolution, Callback callback) {
    std::lock_guard lock(mutex_);
    if (refuseEvents) return 0;
    const Armed armed{++nextId_, due, resolution};
    armed_.push_back(armed);
    pending_.push_back({armed, std::move(callback)});
    return armed.id;
}

bool ManualTimer::KillEvent(std::uint32_t id) {
    std::unique_lock lock(mutex_);
    killed_.push_back(id);
    auto it = std::find_if(pending_.begin(), pending_.end(), [id](const Event& e) { return e.armed.id == id; });
    if (it != pending_.end()) {
        pending_.erase(it);
        return true;
    }
    // Like the real timer: a running callback is waited for.
    changed_.wait(lock, [&] { return running_ != id; });
    return false;
}

OneShotTimer::Clock::time_point ManualTimer::Now() const {
    std::lock_guard lock(mutex_);
    return now_;
}

void ManualTimer::Sleep(std::uint32_t milliseconds) { SleepAt(milliseconds, nullptr); }

void ManualTimer::SleepUnless(std::uint32_t milliseconds, const std::function<bool()>& stopAsked) {
    SleepAt(milliseconds, &stopAsked);
}

void ManualTimer::SleepAt(std::uint32_t milliseconds, const std::function<bool()>* stopAsked) {
    {
        std::unique_lock lock(mutex_);
        sleeps_.push_back({std::this_thread::get_id(), milliseconds});
        if (gates_.count(milliseconds) != 0) {
            const std::uint64_t arrival = arrived_[milliseconds]++;
            waiting_.push_back(milliseconds);
            changed_.notify_all();
            const auto open = [&] { return gates_.count(milliseconds) == 0 || arrival < passed_[milliseconds]; };
            if (stopAsked == nullptr) {
                changed_.wait(lock, open);
            } else {
                // Nothing tells the timer of the stop: look at it as the real timer does.
                while (!open() && !(*stopAsked)()) changed_.wait_for(lock, std::chrono::milliseconds(1));
                if (!open()) ++cutShort_;
            }
            waiting_.erase(std::find(waiting_.begin(), waiting_.end(), milliseconds));
        }
    }
    std::this_thread::yield();
}

bool ManualTimer::FireNext() {
    Event event;
    {
        std::lock_guard lock(mutex_);
        if (pending_.empty()) return false;
        auto it = std::min_element(pending_.begin(), pending_.end(), [](const Event& a, const Event& b) {
            return a.armed.due < b.armed.due || (a.armed.due == b.armed.due && a.armed.id < b.armed.id);
        });
        event = std::move(*it);
        pending_.erase(it);
        now_ = std::max(now_, event.armed.due);
        running_ = event.armed.id;
    }
    event.callback(event.armed.id, event.armed.due);
    {
        std::lock_guard lock(mutex_);
        running_ = 0;
    }
    changed_.notify_all();
    return true;
}

int ManualTimer::FireAll(int limit) {
    int fired = 0;
    while (fired < limit && FireNext()) ++fired;
    return fired;
}

std::vector<ManualTimer::Armed> ManualTimer::pending() const {
    std::lock_guard lock(mutex_);
    std::vector<Armed> out;
    for (const Event& e : pending_) out.push_back(e.armed);
    return out;
}

std::vector<ManualTimer::Armed> ManualTimer::armed() const {
    std::lock_guard lock(mutex_);
    return armed_;
}

std::vector<std::uint32_t> ManualTimer::killed() const {
    std::lock_guard lock(mutex_);
    return killed_;
}

std::vector<ManualTimer::Slept> ManualTimer::sleeps() const {
    std::lock_guard lock(mutex_);
    return sleeps_;
}

int ManualTimer::SleepCount(std::thread::id thread, std::uint32_t milliseconds) const {
    std::lock_guard lock(mutex_);
    return static_cast<int>(std::count_if(sleeps_.begin(), sleeps_.end(), [&](const Slept& s) {
        return s.thread == thread && s.milliseconds == milliseconds;
    }));
}

std::vector<std::uint32_t> ManualTimer::periodsBegun() const {
    std::lock_guard lock(mutex_);
    return begun_;
}

std::vector<std::uint32_t> ManualTimer::periodsEnded() const {
    std::lock_guard lock(mutex_);
    return ended_;
}

void ManualTimer::Advance(std::chrono::milliseconds by) {
    std::lock_guard lock(mutex_);
    now_ += by;
}

void ManualTimer::CloseGate(std::uint32_t milliseconds) {
    std::lock_guard lock(mutex_);
    if (gates_.insert(milliseconds).second) arrived_[milliseconds] = passed_[milliseconds] = 0;
}

void ManualTimer::PassOne(std::uint32_t milliseconds) {
    {
        std::lock_guard lock(mutex_);
        ++passed_[milliseconds];
    }
    changed_.notify_all();
}

void ManualTimer::OpenGate(std::uint32_t milliseconds) {
    {
        std::lock_guard lock(mutex_);
        gates_.erase(milliseconds);
    }
    changed_.notify_all();
}

int ManualTimer::sleepsCutShort() const {
    std::lock_guard lock(mutex_);
    return cutShort_;
}

int ManualTimer::waitingAtGate(std::uint32_t milliseconds) const {
    std::lock_guard lock(mutex_);
    return static_cast<int>(std::count(waiting_.begin(), waiting_.end(), milliseconds));
}

}  // namespace solvane::test
