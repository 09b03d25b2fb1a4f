#pragma once

#include <chrono>
#include <cstdint>

namespace vexo::sim {

// The cable's free-running microsecond counter: starts when the cable powers up and wraps
// at 32 bits like the time stamps it feeds.
class CableClock {
public:
    CableClock() : start_(std::chrono::steady_clock::now()) {}

    std::uint32_t now_us() const {
        const auto elapsed = std::chrono::steady_clock::now() - start_;
        return static_cast<std::uint32_t>(std::chrono::duration_cast<std::chrono::microseconds>(elapsed).count());
    }

private:
    std::chrono::steady_clock::time_point start_;
};

}  // namespace vexo::sim
