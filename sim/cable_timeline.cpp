#include "sim/cable_timeline.h"

#include <utility>

namespace vexo::sim {

CableTimeline::~CableTimeline() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
        work_.clear();
    }
    changed_.notify_all();
    if (thread_.joinable()) thread_.join();
}

void CableTimeline::at(Clock::time_point when, std::function<void()> work) {
    {
        std::lock_guard lock(mutex_);
        work_.emplace(when, std::move(work));
        if (!thread_.joinable()) thread_ = std::thread([this] { run(); });
    }
    changed_.notify_all();
}

void CableTimeline::run() {
    std::unique_lock lock(mutex_);
    while (!stopping_) {
        if (work_.empty()) {
            changed_.wait(lock);
            continue;
        }
        const auto first = work_.begin();
        // A copy: the entry may go while this waits.
        const Clock::time_point when = first->first;
        if (Clock::now() < when) {
            changed_.wait_until(lock, when);
            continue;
        }
        auto work = std::move(first->second);
        work_.erase(first);
        lock.unlock();
        work();
        lock.lock();
    }
}

}  // namespace vexo::sim
