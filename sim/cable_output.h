#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <span>
#include <vector>

// The bytes waiting on the cable's IN endpoint. Writers are the command handler, vehicle
// deliveries and background traffic; the reader is the host's bulk IN transfer.
namespace vexo::sim {

class CableOutput {
public:
    // Appends the bytes as one run: no other writer's bytes land in between.
    void push(std::span<const std::uint8_t> bytes);

    // As push, unless the pending bytes would then exceed `limit`; then nothing is added.
    bool push_within(std::span<const std::uint8_t> bytes, std::size_t limit);

    // Moves up to into.size() pending bytes into `into`; waits until `deadline` for some to
    // arrive. Returns how many were moved, 0 when the deadline passed first.
    std::size_t pop(std::span<std::uint8_t> into, std::chrono::steady_clock::time_point deadline);

    std::size_t pending() const;

private:
    void append_locked(std::span<const std::uint8_t> bytes);

    mutable std::mutex mutex_;
    std::condition_variable arrived_;
    std::vector<std::uint8_t> bytes_;
    std::size_t head_ = 0;  // bytes before head_ have been read
};

}  // namespace vexo::sim
