#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "j2534_library.h"
#include "tool_error.h"
#include "vexo/j2534.h"  // the numbers its callers pass: protocol IDs, flags, filter types

namespace vexo::tools {

struct VersionTexts {
    std::string firmware;
    std::string dll;
    std::string api;
};

struct ReceivedMessage {
    std::uint32_t protocol_id = 0;
    std::uint32_t rx_status = 0;
    std::uint32_t timestamp_us = 0;
    std::vector<std::uint8_t> data;
};

// The open device and at most one channel of it. Every command works through one session; closing it
// (or destroying it, when a command stops early) disconnects the channel and closes the device.
class Session {
public:
    static Result<Session> open(const J2534Library& library);

    Session(Session&& other) noexcept;
    Session& operator=(Session&&) = delete;
    Session(const Session&) = delete;
    ~Session();

    std::uint32_t device_id() const { return device_id_; }
    std::uint32_t protocol_id() const { return protocol_id_; }

    Result<VersionTexts> read_version();
    Result<std::uint32_t> read_battery_millivolts();

    VoidResult connect(std::uint32_t protocol_id, std::uint32_t flags, std::uint32_t baud);
    // Ends the channel, and with it its filters (the cable cannot stop one alone).
    VoidResult disconnect();
    // Mask and pattern (and flow control) of equal length; returns the filter ID.
    Result<std::uint32_t> start_filter(std::uint32_t filter_type, std::span<const std::uint8_t> mask,
                                       std::span<const std::uint8_t> pattern,
                                       std::optional<std::span<const std::uint8_t>> flow_control,
                                       std::uint32_t tx_flags);
    VoidResult clear_rx_buffer();
    VoidResult write(std::span<const std::uint8_t> data, std::uint32_t tx_flags, std::uint32_t timeout_ms);
    // The library sends the message every `interval_ms` until stop_periodic; returns its ID.
    Result<std::uint32_t> start_periodic(std::span<const std::uint8_t> data, std::uint32_t tx_flags,
                                         std::uint32_t interval_ms);
    VoidResult stop_periodic(std::uint32_t msg_id);
    // Up to `max` received messages within `wait_ms`; an elapsed wait gives an empty list. Echoes of the
    // client's own transmissions (TX_MSG_TYPE, TX_INDICATION) are left out.
    Result<std::vector<ReceivedMessage>> read(std::uint32_t max, std::uint32_t wait_ms);
    // FAST_INIT with `request`; returns the ECU's answer.
    Result<std::vector<std::uint8_t>> fast_init(std::span<const std::uint8_t> request);

    // Disconnects the channel, then closes the device; reports the first failure.
    VoidResult close();

private:
    explicit Session(const J2534Library& library, std::uint32_t device_id)
        : library_(&library), device_id_(device_id) {}
    PassThruMessage message(std::span<const std::uint8_t> data, std::uint32_t tx_flags) const;

    const J2534Library* library_;
    std::uint32_t device_id_ = 0;
    bool device_open_ = true;
    std::optional<std::uint32_t> channel_id_;
    std::uint32_t protocol_id_ = 0;
};

}  // namespace vexo::tools
