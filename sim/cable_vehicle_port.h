#pragma once

#include <cstdint>
#include <optional>
#include <span>

namespace vexo::sim {

// What became of a vehicle message offered to the cable.
enum class Delivery {
    Delivered,
    ChannelNotOpen,  // the cable drops traffic for channels the host has not opened
    WrongChannel,    // CAN traffic on a K-line channel or the other way round
    Filtered,        // filtering is on and the channel's filters refuse it
    Overflow,        // the host is not reading and the cable's buffer is full
};

// The cable's side towards the vehicle: simulated ECUs and traffic sources push received
// messages through it. Safe to call from any thread.
class VehiclePort {
public:
    virtual ~VehiclePort() = default;

    // A CAN or ISO15765 message (a CAN channel): the CAN ID and its data bytes, which on
    // ISO15765 may be a whole reassembled message. Without a time stamp the cable's clock is used.
    virtual Delivery deliver_can(std::uint8_t channel, std::uint32_t can_id, std::span<const std::uint8_t> data,
                                 std::optional<std::uint32_t> ts_us = std::nullopt) = 0;

    // A K-line message (channel 3 or 4), bytes as they came off the line.
    virtual Delivery deliver_kline(std::uint8_t channel, std::span<const std::uint8_t> data) = 0;

    virtual bool is_open(std::uint8_t channel) const = 0;
    virtual std::uint32_t now_us() const = 0;
};

// A background producer of vehicle traffic (for example CAN frames at a fixed rate). The
// cable starts it when attached and stops it before detaching or going away; stop() must
// not return while the source may still call the port.
class TrafficSource {
public:
    virtual ~TrafficSource() = default;
    virtual void start(VehiclePort& port) = 0;
    virtual void stop() = 0;
};

}  // namespace vexo::sim
