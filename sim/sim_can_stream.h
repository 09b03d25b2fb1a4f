#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

#include "sim/cable_vehicle_port.h"

namespace vexo::sim {

// Single-frame CAN messages, one ID, pushed as fast as the cable takes them: the load a
// receive-path benchmark reads against. The data bytes are the message number, big-endian,
// so a reader can tell that none went missing. The backlog bound keeps a slow reader from
// growing the cable's buffer without limit; it is checked through `pending`.
class CanStream final : public TrafficSource {
public:
    // `count` messages in all; 0 streams until stopped.
    CanStream(std::uint8_t channel, std::uint32_t can_id, std::size_t backlog_bytes, std::uint64_t count,
              std::function<std::size_t()> pending);
    ~CanStream() override;
    CanStream(const CanStream&) = delete;
    CanStream& operator=(const CanStream&) = delete;

    void start(VehiclePort& port) override;
    void stop() override;

    // Outlives the stream, so a caller can read it after the cable has dropped the source.
    std::shared_ptr<const std::atomic<std::uint64_t>> delivered() const { return delivered_; }

private:
    void run(VehiclePort& port);

    const std::uint8_t channel_;
    const std::uint32_t can_id_;
    const std::size_t backlog_bytes_;
    const std::uint64_t count_;
    const std::function<std::size_t()> pending_;
    std::shared_ptr<std::atomic<std::uint64_t>> delivered_ = std::make_shared<std::atomic<std::uint64_t>>(0);
    std::mutex mutex_;
    std::condition_variable wake_;
    bool stopping_ = false;
    std::thread thread_;
};

}  // namespace vexo::sim
