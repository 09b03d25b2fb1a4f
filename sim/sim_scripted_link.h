#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <span>
#include <vector>

#include "sim/cable_link.h"

namespace vexo::sim {

// A cable that says exactly what it is told to and remembers what it heard. Reads wait on
// a condition variable until output is pushed or the deadline passes.
class ScriptedLink : public CableLink {
public:
    void push_output(std::span<const std::uint8_t> bytes);
    std::vector<std::uint8_t> input() const;
    std::size_t pending_output() const;

    void host_wrote(std::span<const std::uint8_t> bytes) override;
    std::size_t host_read(std::span<std::uint8_t> into, std::chrono::steady_clock::time_point deadline) override;

private:
    mutable std::mutex mutex_;
    std::condition_variable output_ready_;
    std::deque<std::uint8_t> output_;
    std::vector<std::uint8_t> input_;
};

}  // namespace vexo::sim
