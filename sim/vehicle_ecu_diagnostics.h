#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "sim/cable_frames.h"
#include "sim/vehicle_obd_services.h"
#include "sim/vehicle_uds_services.h"

namespace vexo::sim {

// When a freeze frame is taken, in the ECU's running time: fixed, so the frame reads the
// same in every run.
inline constexpr std::uint64_t freeze_frame_uptime_us = 95'000'000;
// The UDS S3 server timer.
inline constexpr std::uint64_t s3_timeout_us = 5'000'000;

// A CAN ECU's diagnostic server, apart from any bus: OBD-II modes 01, 02, 03, 04, 07, 09
// and 0A and the UDS services 10, 11, 14, 22, 27 and 3E over one set of stored codes and
// one session. An ECU that starts with stored codes has the freeze frame of the first. A
// session other than the default one falls back to it when no request came for s3_timeout_us
// (tester present keeps it); DID F186 reads the session.
// Not thread-safe; the ECU that owns it serialises requests.
class EcuDiagnostics {
public:
    struct Settings {
        std::string vin;
        std::string serial_number;
        std::vector<std::uint16_t> dtcs;  // two bytes each as mode 03 reports them: 0x0301 is P0301
        // Seen once, not yet confirmed (mode 07). The stored codes are also the permanent
        // ones (mode 0A), which only the ECU's own monitors clear, never mode 04.
        std::vector<std::uint16_t> pending_dtcs;
        ObdProfile profile;
    };

    explicit EcuDiagnostics(Settings settings);

    // The answer to one request, or nothing. `functional` requests (sent to every ECU) get no
    // negative answer that only says the ECU cannot serve them. `uptime_us` drives the
    // sensor readings and the security seed.
    std::optional<Bytes> answer(std::span<const std::uint8_t> request, bool functional, std::uint64_t uptime_us);

    const std::vector<std::uint16_t>& stored_dtcs() const { return dtcs_; }
    const UdsState& uds_state() const { return uds_; }

private:
    std::optional<Bytes> serve(std::span<const std::uint8_t> request, std::uint64_t uptime_us);
    Bytes clear_obd(std::span<const std::uint8_t> request);
    Bytes clear_uds(std::span<const std::uint8_t> request);

    std::string vin_;
    ObdProfile profile_;
    DataIdentifiers dids_;
    std::vector<std::uint16_t> dtcs_;
    std::vector<std::uint16_t> pending_dtcs_;
    std::vector<std::uint16_t> permanent_dtcs_;
    std::optional<FreezeFrame> freeze_frame_;
    UdsState uds_;
    std::uint64_t last_request_us_ = 0;
};

}  // namespace vexo::sim
