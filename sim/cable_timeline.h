#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <thread>

// What the cable finishes later: a message that takes several CAN frames is on the bus for as
// long as they take, and only then done.
namespace vexo::sim {

class CableTimeline {
public:
    using Clock = std::chrono::steady_clock;

    CableTimeline() = default;
    // Work still waiting is dropped; work under way finishes first.
    ~CableTimeline();
    CableTimeline(const CableTimeline&) = delete;
    CableTimeline& operator=(const CableTimeline&) = delete;

    // Runs `work` at `when` on the timeline's thread (started with the first), in time order;
    // work given the same time runs in the order it was given. It may call the cable's methods.
    void at(Clock::time_point when, std::function<void()> work);

private:
    void run();

    std::mutex mutex_;
    std::condition_variable changed_;
    std::multimap<Clock::time_point, std::function<void()>> work_;
    bool stopping_ = false;
    std::thread thread_;
};

}  // namespace vexo::sim
