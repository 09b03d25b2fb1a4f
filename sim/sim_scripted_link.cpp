#include "sim/sim_scripted_link.h"

#include <algorithm>

namespace vexo::sim {

void ScriptedLink::push_output(std::span<const std::uint8_t> bytes) {
    {
        std::lock_guard lock(mutex_);
        output_.insert(output_.end(), bytes.begin(), bytes.end());
    }
    output_ready_.notify_all();
}

std::vector<std::uint8_t> ScriptedLink::input() const {
    std::lock_guard lock(mutex_);
    return input_;
}

std::size_t ScriptedLink::pending_output() const {
    std::lock_guard lock(mutex_);
    return output_.size();
}

void ScriptedLink::host_wrote(std::span<const std::uint8_t> bytes) {
    std::lock_guard lock(mutex_);
    input_.insert(input_.end(), bytes.begin(), bytes.end());
}

std::size_t ScriptedLink::host_read(std::span<std::uint8_t> into, std::chrono::steady_clock::time_point deadline) {
    std::unique_lock lock(mutex_);
    if (into.empty()) return 0;
    output_ready_.wait_until(lock, deadline, [this] { return !output_.empty(); });
    const std::size_t n = std::min(into.size(), output_.size());
    std::copy_n(output_.begin(), n, into.begin());
    output_.erase(output_.begin(), output_.begin() + static_cast<std::ptrdiff_t>(n));
    return n;
}

}  // namespace vexo::sim
