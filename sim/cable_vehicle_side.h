#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "sim/cable_channel.h"

namespace vexo::sim {

// A message the host handed to the cable with "att".
struct Transmission {
    std::uint8_t channel = 0;
    std::uint32_t flags = 0;  // as sent: on CAN channels the host adds 0x40
    std::vector<std::uint8_t> data;

    friend bool operator==(const Transmission&, const Transmission&) = default;
};

// The vehicle behind the cable: told what the host makes the cable do, so that simulated
// ECUs can answer through the cable's VehiclePort. Every call comes on the thread that wrote
// the command, after the cable's own reply is queued (fast init excepted: its answer is part
// of the reply), or on the cable's own thread for what it finishes later, with no cable lock
// held, so a handler may deliver messages at once. A handler must not write host commands itself.
class VehicleSide {
public:
    virtual ~VehicleSide() = default;

    virtual void on_channel_opened(std::uint8_t /*channel*/, std::uint32_t /*flags*/, std::uint32_t /*baud*/) {}
    // Also called for every open channel on "atz".
    virtual void on_channel_closed(std::uint8_t /*channel*/) {}
    // A message of several CAN frames (ISO 15765-2) has its first frame on the bus; on_transmit
    // follows when the last one has gone, single frames transmitted meanwhile in between.
    virtual void on_transmit_start(const Transmission& /*message*/) {}
    virtual void on_transmit(const Transmission& /*message*/) {}
    virtual void on_filter(std::uint8_t /*channel*/, const CableFilter& /*filter*/) {}
    virtual void on_config(std::uint8_t /*channel*/, std::uint32_t /*parameter*/, std::uint32_t /*value*/) {}
    // The ECU's reply to a fast initialisation; nothing means the cable's configured reply.
    virtual std::optional<std::vector<std::uint8_t>> on_fast_init(std::uint8_t /*channel*/,
                                                                  std::span<const std::uint8_t> /*request*/) {
        return std::nullopt;
    }
};

}  // namespace vexo::sim
