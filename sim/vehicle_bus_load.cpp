#include "sim/vehicle_bus_load.h"

#include <algorithm>

namespace vexo::sim {

namespace {

// Behind schedule by more than this (a stalled machine), the source starts a new schedule
// instead of making up every missed frame in one burst.
constexpr std::chrono::milliseconds max_lag{100};
// Flat out: how long to wait for the host to make room, or for a channel to open or a
// filter to pass a frame, before offering again.
constexpr std::chrono::microseconds room_wait{200};
constexpr std::chrono::milliseconds refused_wait{1};

}  // namespace

BusLoadFrame bus_load_frame(const BusLoadSettings& settings, std::uint64_t n) {
    const std::uint32_t count = std::max<std::uint32_t>(settings.id_count, 1);
    const std::uint32_t id = settings.first_id + static_cast<std::uint32_t>(n % count);
    Bytes data{static_cast<std::uint8_t>(n >> 24), static_cast<std::uint8_t>(n >> 16),
               static_cast<std::uint8_t>(n >> 8),  static_cast<std::uint8_t>(n),
               static_cast<std::uint8_t>(id),      static_cast<std::uint8_t>(n * 3),
               static_cast<std::uint8_t>(n * 7),   static_cast<std::uint8_t>(0xA5 ^ n)};
    data.resize(std::min<std::size_t>(settings.data_bytes, data.size()));
    return {id, std::move(data)};
}

BusLoadSource::BusLoadSource(BusLoadSettings settings) : settings_(settings) {}

BusLoadSource::~BusLoadSource() { stop(); }

void BusLoadSource::start(VehiclePort& port) {
    stop();
    {
        std::lock_guard lock(mutex_);
        stopping_ = false;
    }
    stop_requested_ = false;
    thread_ = std::thread([this, &port] {
        if (settings_.frames_per_second == 0)
            run_flat_out(port);
        else
            run_at_rate(port);
    });
}

void BusLoadSource::stop() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    stop_requested_ = true;
    wake_.notify_all();
    if (thread_.joinable()) thread_.join();
}

bool BusLoadSource::wait_until(Clock::time_point until) {
    std::unique_lock lock(mutex_);
    return !wake_.wait_until(lock, until, [this] { return stopping_; });
}

bool BusLoadSource::offer(VehiclePort& port, std::uint64_t n) {
    const BusLoadFrame frame = bus_load_frame(settings_, n);
    const bool taken = port.deliver_can(settings_.channel, frame.can_id, frame.data) == Delivery::Delivered;
    ++(taken ? counters_->delivered : counters_->refused);
    return taken;
}

void BusLoadSource::run_at_rate(VehiclePort& port) {
    const auto due = [fps = static_cast<long double>(settings_.frames_per_second)](Clock::time_point start,
                                                                                   std::uint64_t n) {
        return start + std::chrono::nanoseconds(static_cast<std::int64_t>(static_cast<long double>(n) * 1e9L / fps));
    };
    auto start = Clock::now();
    std::uint64_t sent = 0;  // frames since `start`
    std::uint64_t n = 0;
    do {
        const auto now = Clock::now();
        if (now - due(start, sent) > max_lag) {
            start = now;
            sent = 0;
        }
        while (due(start, sent) <= now && !stop_requested_) {
            offer(port, n++);
            ++sent;
        }
    } while (wait_until(due(start, sent)));
}

void BusLoadSource::run_flat_out(VehiclePort& port) {
    std::uint64_t n = 0;
    std::uint32_t refused_in_a_row = 0;
    while (!stop_requested_) {
        const BusLoadFrame frame = bus_load_frame(settings_, n);
        const Delivery outcome = port.deliver_can(settings_.channel, frame.can_id, frame.data);
        if (outcome == Delivery::Delivered) {
            ++counters_->delivered;
            ++n;
            refused_in_a_row = 0;
            continue;
        }
        ++counters_->refused;
        if (outcome == Delivery::Overflow) {
            if (!wait_until(Clock::now() + room_wait)) return;
            continue;  // the same frame again
        }
        ++n;
        // A whole round of IDs refused: nothing passes for now, so do not spin.
        if (++refused_in_a_row >= std::max<std::uint32_t>(settings_.id_count, 1)) {
            refused_in_a_row = 0;
            if (!wait_until(Clock::now() + refused_wait)) return;
        }
    }
}

}  // namespace vexo::sim
