#pragma once

#include <array>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "sim/cable_vehicle_port.h"
#include "sim/cable_vehicle_side.h"
#include "sim/vehicle_engine_readings.h"
#include "sim/vehicle_kwp_frame.h"
#include "sim/vehicle_kwp_services.h"
#include "sim/vehicle_uptime.h"

namespace vexo::sim {

// A KWP2000 ECU on the K-line behind the cable's ISO14230 channel. It sleeps until a fast
// initialisation brings a StartCommunication request for its address (or the functional
// one) and answers it with C1 and its key bytes; then it serves KWP2000 and OBD-II
// requests (vehicle_kwp_services.h) until StopCommunication, the channel closes, or no
// request came for P3max. Requests on the line carry the checksum the cable appends,
// unless the host sent them with ISO9141_NO_CHECKSUM, when the bytes are on the line as
// given. Answers are addressed back to the requester, checksum last, and delivered at
// once. Nothing is heard on a channel whose bit rate differs from the ECU's.
class KlineEcu final : public VehicleSide {
public:
    struct Settings {
        std::uint8_t channel = iso14230_channel;
        std::uint8_t address = 0x10;
        std::uint8_t functional_address = 0x33;
        std::uint32_t bit_rate = carried_protocol(ISO14230)->default_baud;
        std::array<std::uint8_t, 2> key_bytes{0xEF, 0x8F};
        std::uint32_t p3_max_ms = 5000;
        std::string vin{demo_vin};
        std::vector<std::uint16_t> dtcs{0x0171};  // P0171
    };

    explicit KlineEcu(VehiclePort& port);
    KlineEcu(VehiclePort& port, Settings settings);

    void on_channel_opened(std::uint8_t channel, std::uint32_t flags, std::uint32_t baud) override;
    void on_channel_closed(std::uint8_t channel) override;
    void on_config(std::uint8_t channel, std::uint32_t parameter, std::uint32_t value) override;
    void on_transmit(const Transmission& message) override;
    // Channels other than the ECU's are not its business (nothing); on its own channel an
    // empty answer means the ECU stayed asleep.
    std::optional<Bytes> on_fast_init(std::uint8_t channel, std::span<const std::uint8_t> request) override;

    bool communicating() const;
    std::vector<std::uint16_t> stored_dtcs() const;

private:
    bool listening_locked() const { return open_ && bit_rate_ == settings_.bit_rate; }
    std::optional<KwpMessage> heard_locked(std::span<const std::uint8_t> line) const;
    Bytes reply_to(const KwpMessage& request, Bytes data) const;
    KwpOutcome answer_locked(const KwpMessage& request, std::uint32_t now_us);

    VehiclePort& port_;
    const Settings settings_;
    mutable std::mutex mutex_;
    bool open_ = false;
    std::uint32_t bit_rate_ = 0;
    bool communicating_ = false;
    std::uint32_t last_request_us_ = 0;
    std::vector<std::uint16_t> dtcs_;
    Uptime uptime_;
};

}  // namespace vexo::sim
