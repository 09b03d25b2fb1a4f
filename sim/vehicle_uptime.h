#pragma once

#include <cstdint>

namespace vexo::sim {

// Widens the cable's 32-bit microsecond counter into a running time that never wraps, so
// an engine does not start from cold again every 71 minutes. It must see the counter at
// least once per wrap; callers serialise access.
class Uptime {
public:
    std::uint64_t advance(std::uint32_t now_us) {
        if (!started_) {
            started_ = true;
            total_ = now_us;
        } else {
            total_ += static_cast<std::uint32_t>(now_us - last_);
        }
        last_ = now_us;
        return total_;
    }

private:
    bool started_ = false;
    std::uint32_t last_ = 0;
    std::uint64_t total_ = 0;
};

}  // namespace vexo::sim
