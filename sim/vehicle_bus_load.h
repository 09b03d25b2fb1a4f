#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>

#include "sim/cable_frames.h"
#include "sim/cable_vehicle_port.h"

namespace vexo::sim {

struct BusLoadSettings {
    std::uint8_t channel = can_channel;
    std::uint32_t first_id = 0x100;
    std::uint32_t id_count = 16;  // IDs first_id .. first_id + id_count - 1, in turn
    // 0: as fast as the cable takes them. A full cable then holds the frame back until the
    // host has read enough, so the host sees an unbroken sequence; at a set rate the frame
    // is lost, as on a real bus.
    std::uint32_t frames_per_second = 1000;
    std::uint8_t data_bytes = 8;  // 0 .. 8
};

struct BusLoadFrame {
    std::uint32_t can_id = 0;
    Bytes data;

    friend bool operator==(const BusLoadFrame&, const BusLoadFrame&) = default;
};

// Frame number n of the stream: ID first_id + n % id_count; data the big-endian frame
// number, then the ID's low byte and two bytes that change with n, cut to data_bytes.
BusLoadFrame bus_load_frame(const BusLoadSettings& settings, std::uint64_t n);

struct BusLoadCounters {
    std::atomic<std::uint64_t> delivered{0};
    std::atomic<std::uint64_t> refused{0};  // the cable did not take them (closed, filtered, full)
};

// Background CAN traffic for benchmarks and bus monitoring: a thread offers the frames to
// the cable at the set rate, sleeping between them, and stops within about a millisecond.
class BusLoadSource final : public TrafficSource {
public:
    explicit BusLoadSource(BusLoadSettings settings = {});
    ~BusLoadSource() override;
    BusLoadSource(const BusLoadSource&) = delete;
    BusLoadSource& operator=(const BusLoadSource&) = delete;

    void start(VehiclePort& port) override;
    void stop() override;

    // Outlives the source, so a benchmark can read it after handing the source to the cable.
    std::shared_ptr<const BusLoadCounters> counters() const { return counters_; }

private:
    using Clock = std::chrono::steady_clock;

    void run_at_rate(VehiclePort& port);
    void run_flat_out(VehiclePort& port);
    bool offer(VehiclePort& port, std::uint64_t n);
    // False once stop() was called; otherwise waits until `until` or stop().
    bool wait_until(Clock::time_point until);

    const BusLoadSettings settings_;
    std::shared_ptr<BusLoadCounters> counters_ = std::make_shared<BusLoadCounters>();
    std::mutex mutex_;
    std::condition_variable wake_;
    bool stopping_ = false;
    std::atomic<bool> stop_requested_{false};
    std::thread thread_;
};

}  // namespace vexo::sim
