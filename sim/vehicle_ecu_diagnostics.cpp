#include "sim/vehicle_ecu_diagnostics.h"

#include "sim/vehicle_engine_readings.h"
#include "sim/vehicle_negative_response.h"
#include "sim/vehicle_obd_services.h"

namespace vexo::sim {

namespace {

constexpr std::uint16_t did_vin = 0xF190;
constexpr std::uint16_t did_serial_number = 0xF18C;
constexpr std::uint16_t did_active_session = 0xF186;

Bytes text_bytes(const std::string& text) { return Bytes(text.begin(), text.end()); }

// Varies from request to request without a random source, so runs stay repeatable.
std::uint16_t seed_at(std::uint64_t uptime_us) {
    return static_cast<std::uint16_t>((uptime_us ^ (uptime_us >> 16) ^ (uptime_us >> 32)) * 0x9E37u);
}

}  // namespace

EcuDiagnostics::EcuDiagnostics(Settings settings)
    : vin_(std::move(settings.vin)),
      profile_(std::move(settings.profile)),
      dids_{{did_vin, text_bytes(vin_)}, {did_serial_number, text_bytes(settings.serial_number)}},
      dtcs_(std::move(settings.dtcs)),
      pending_dtcs_(std::move(settings.pending_dtcs)),
      permanent_dtcs_(dtcs_) {
    if (!dtcs_.empty()) freeze_frame_ = FreezeFrame{dtcs_.front(), engine_readings(freeze_frame_uptime_us)};
}

std::optional<Bytes> EcuDiagnostics::answer(std::span<const std::uint8_t> request, bool functional,
                                            std::uint64_t uptime_us) {
    if (request.empty()) return std::nullopt;
    if (uds_.session != session::default_session && uptime_us - last_request_us_ > s3_timeout_us)
        uds_.enter(session::default_session);
    last_request_us_ = uptime_us;
    dids_[did_active_session] = {uds_.session};
    auto reply = serve(request, uptime_us);
    if (functional && reply && reply->size() == 3 && (*reply)[0] == negative_response_sid &&
        suppressed_when_functional((*reply)[2]))
        return std::nullopt;
    return reply;
}

std::optional<Bytes> EcuDiagnostics::serve(std::span<const std::uint8_t> request, std::uint64_t uptime_us) {
    const std::uint8_t service = request[0];
    switch (service) {
        case 0x01: return obd_current_data(request, profile_, engine_readings(uptime_us), dtcs_.size());
        case 0x02: return obd_freeze_frame(request, profile_, freeze_frame_);
        case 0x03: return obd_stored_dtcs(request, dtcs_);
        case 0x04: return clear_obd(request);
        case 0x07: return obd_dtc_list(request, pending_dtcs_);
        case 0x0A: return obd_dtc_list(request, permanent_dtcs_);
        case 0x09: return obd_vehicle_info(request, vin_);
        case 0x10: return uds_session_control(request, uds_);
        case 0x11: return uds_ecu_reset(request, uds_);
        case 0x14: return clear_uds(request);
        case 0x22: return uds_read_data_by_id(request, dids_);
        case 0x27: return uds_security_access(request, uds_, seed_at(uptime_us));
        case 0x3E: return uds_tester_present(request);
        default: return negative_response(service, nrc::service_not_supported);
    }
}

Bytes EcuDiagnostics::clear_obd(std::span<const std::uint8_t> request) {
    if (request.size() != 1) return negative_response(0x04, nrc::incorrect_length);
    dtcs_.clear();
    pending_dtcs_.clear();
    freeze_frame_.reset();
    return {0x44};
}

Bytes EcuDiagnostics::clear_uds(std::span<const std::uint8_t> request) {
    constexpr std::uint8_t service = 0x14;
    if (request.size() != 4) return negative_response(service, nrc::incorrect_length);
    // Only the group of all codes exists here.
    if (request[1] != 0xFF || request[2] != 0xFF || request[3] != 0xFF)
        return negative_response(service, nrc::request_out_of_range);
    dtcs_.clear();
    freeze_frame_.reset();
    return {0x54};
}

}  // namespace vexo::sim
