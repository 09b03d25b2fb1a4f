#pragma once

#include <array>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "sim/cable_vehicle_port.h"
#include "sim/cable_vehicle_side.h"
#include "sim/vehicle_ecu_diagnostics.h"
#include "sim/vehicle_engine_readings.h"
#include "sim/vehicle_obd_services.h"
#include "sim/vehicle_uptime.h"

namespace vexo::sim {

// An ECU on the CAN bus behind the cable, by default the demo car's engine. It hears
// requests to its physical ID and to the functional ID, with normal addressing, and answers
// from its response ID. Its IDs are either 11-bit or 29-bit: it hears only frames the host
// sent with the matching CAN_29BIT_ID flag. It answers:
// - on ISO15765 with the whole answer, which the cable hands on in chunks. An answer longer
//   than a single frame needs the ECU's flow control, which the cable only gives when a
//   flow-control filter pairs the response ID with the request ID; without one the ECU
//   gives up on it. Functional requests longer than a single frame are not heard at all.
// - on raw CAN with a padded single frame, when the request was a single frame and the
//   answer fits one.
// Nothing is heard on a channel whose bit rate differs from the ECU's. Answers are
// delivered at once, after the cable's TxDone for the request. As ISO 15765-2 has it, a
// single frame to the ECU's request ID while a request of several frames is still arriving
// breaks that request off: the ECU serves the single frame and drops the rest of the other.
// UDS sessions other than the default one end after 5 s without a request (S3).
class CanEcu final : public VehicleSide {
public:
    struct Settings {
        std::uint32_t request_id = 0x7E0;
        std::uint32_t functional_id = 0x7DF;
        std::uint32_t response_id = 0x7E8;
        std::uint32_t bit_rate = carried_protocol(ISO15765)->default_baud;
        bool extended_ids = false;  // 29-bit IDs
        std::uint8_t padding = 0xAA;
        std::string vin{demo_vin};
        std::string serial_number = "VX-ECM-0004217";
        std::vector<std::uint16_t> dtcs{0x0301, 0x0420};  // P0301, P0420
        std::vector<std::uint16_t> pending_dtcs{0x0171};  // P0171, a lean mixture
        ObdProfile profile = engine_obd_profile;
    };

    explicit CanEcu(VehiclePort& port);
    CanEcu(VehiclePort& port, Settings settings);

    void on_channel_opened(std::uint8_t channel, std::uint32_t flags, std::uint32_t baud) override;
    void on_channel_closed(std::uint8_t channel) override;
    void on_transmit_start(const Transmission& message) override;
    void on_transmit(const Transmission& message) override;
    void on_filter(std::uint8_t channel, const CableFilter& filter) override;
    void on_config(std::uint8_t channel, std::uint32_t parameter, std::uint32_t value) override;

    std::vector<std::uint16_t> stored_dtcs() const;

private:
    // What the ECU knows of one of the cable's CAN channels.
    struct Channel {
        bool open = false;
        std::uint32_t bit_rate = 0;
        std::vector<CableFilter> filters;
        // A request of several frames is arriving; a single frame broke it off.
        bool receiving = false;
        bool broken_off = false;
    };

    // The request ID the message goes to when the ECU hears it, or nothing.
    std::optional<std::uint32_t> heard_id(const Transmission& message) const;

    Channel& channel_locked(std::uint8_t channel) { return channels_[channel]; }
    bool flow_control_paired_locked(const Channel& channel) const;
    std::optional<Bytes> answer_locked(std::uint8_t channel, std::span<const std::uint8_t> request, bool functional);

    VehiclePort& port_;
    const Settings settings_;
    mutable std::mutex mutex_;
    std::array<Channel, channel_digits> channels_;  // by channel digit; only the CAN ones are used
    EcuDiagnostics diagnostics_;
    Uptime uptime_;
};

}  // namespace vexo::sim
