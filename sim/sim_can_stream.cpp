#include "sim/sim_can_stream.h"

#include <array>
#include <chrono>

namespace vexo::sim {

namespace {
// How long a full cable makes the stream wait before it looks again: short next to the time
// a reader needs to drain the backlog, long enough not to spin.
constexpr std::chrono::microseconds kFullWait{50};
}  // namespace

CanStream::CanStream(std::uint8_t channel, std::uint32_t can_id, std::size_t backlog_bytes, std::uint64_t count,
                     std::function<std::size_t()> pending)
    : channel_(channel),
      can_id_(can_id),
      backlog_bytes_(backlog_bytes),
      count_(count),
      pending_(std::move(pending)) {}

CanStream::~CanStream() { stop(); }

void CanStream::start(VehiclePort& port) {
    stop();
    {
        std::lock_guard lock(mutex_);
        stopping_ = false;
    }
    thread_ = std::thread([this, &port] { run(port); });
}

void CanStream::stop() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    if (thread_.joinable()) thread_.join();
}

void CanStream::run(VehiclePort& port) {
    std::uint64_t number = 0;
    std::array<std::uint8_t, 8> data{};
    while (count_ == 0 || number < count_) {
        {
            std::unique_lock lock(mutex_);
            if (stopping_) return;
            if (pending_() >= backlog_bytes_) {
                wake_.wait_for(lock, kFullWait, [this] { return stopping_; });
                continue;
            }
        }
        for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(number >> (56 - 8 * i));
        if (port.deliver_can(channel_, can_id_, data) != Delivery::Delivered) {
            // Closed or full: wait as for a full backlog rather than spin.
            std::unique_lock lock(mutex_);
            wake_.wait_for(lock, kFullWait, [this] { return stopping_; });
            continue;
        }
        ++number;
        delivered_->store(number, std::memory_order_relaxed);
    }
}

}  // namespace vexo::sim
