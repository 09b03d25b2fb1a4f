#include "sim/cable_output.h"

#include <algorithm>

namespace vexo::sim {

void CableOutput::push(std::span<const std::uint8_t> bytes) {
    if (bytes.empty()) return;
    {
        std::lock_guard lock(mutex_);
        append_locked(bytes);
    }
    arrived_.notify_all();
}

bool CableOutput::push_within(std::span<const std::uint8_t> bytes, std::size_t limit) {
    {
        std::lock_guard lock(mutex_);
        if (bytes_.size() - head_ + bytes.size() > limit) return false;
        append_locked(bytes);
    }
    arrived_.notify_all();
    return true;
}

std::size_t CableOutput::pop(std::span<std::uint8_t> into, std::chrono::steady_clock::time_point deadline) {
    if (into.empty()) return 0;
    std::unique_lock lock(mutex_);
    if (!arrived_.wait_until(lock, deadline, [this] { return head_ < bytes_.size(); })) return 0;
    const std::size_t count = std::min(into.size(), bytes_.size() - head_);
    std::copy_n(bytes_.begin() + static_cast<std::ptrdiff_t>(head_), count, into.begin());
    head_ += count;
    if (head_ == bytes_.size()) {
        bytes_.clear();
        head_ = 0;
    }
    return count;
}

std::size_t CableOutput::pending() const {
    std::lock_guard lock(mutex_);
    return bytes_.size() - head_;
}

void CableOutput::append_locked(std::span<const std::uint8_t> bytes) {
    // Reclaim the read prefix once it dominates, so a reader that lags never lets it grow unbounded.
    if (head_ > 0 && head_ >= bytes_.size() / 2) {
        bytes_.erase(bytes_.begin(), bytes_.begin() + static_cast<std::ptrdiff_t>(head_));
        head_ = 0;
    }
    bytes_.insert(bytes_.end(), bytes.begin(), bytes.end());
}

}  // namespace vexo::sim
