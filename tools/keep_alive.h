#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <thread>

#include "diag_exchange.h"

namespace vexo::tools {

// Tester present (3E 80: no answer wanted) to `request_id`, so that the diagnostic session and security
// access outlive a pause between requests: the library's periodic message every `interval_ms`, which
// keeps time whatever this process does; where the library refuses one (a third party's may), a
// thread of ours whenever the link has been quiet for `interval_ms`. That thread shares the session:
// every exchange holds lock() so a keep-alive never lands in the middle of one.
class KeepAlive {
public:
    KeepAlive(Session& session, std::uint32_t request_id, bool extended, std::uint32_t interval_ms);
    ~KeepAlive();
    KeepAlive(const KeepAlive&) = delete;
    KeepAlive& operator=(const KeepAlive&) = delete;

    // Held for an exchange; the link counts as busy until it is released.
    std::unique_lock<std::mutex> lock();
    void touch();

private:
    void run();

    Session& session_;
    std::uint32_t request_id_;
    bool extended_;
    std::chrono::milliseconds interval_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::chrono::steady_clock::time_point last_;
    bool stopping_ = false;
    std::optional<std::uint32_t> periodic_id_;  // the library's periodic message
    std::thread thread_;
};

}  // namespace vexo::tools
