#include "sim/vehicle_kwp_services.h"

#include <algorithm>

#include "sim/vehicle_negative_response.h"
#include "sim/vehicle_obd_services.h"

namespace vexo::sim {

namespace {

constexpr std::uint8_t positive(std::uint8_t service) { return static_cast<std::uint8_t>(service + 0x40); }
constexpr std::uint8_t byte_of(std::uint32_t value) { return static_cast<std::uint8_t>(value); }

// KWP2000 reports a malformed request as 0x12 (subFunctionNotSupported-invalidFormat).
Bytes malformed(std::uint8_t service) { return negative_response(service, nrc::sub_function_not_supported); }

Bytes start_diagnostic_session(std::span<const std::uint8_t> request) {
    constexpr std::uint8_t service = 0x10;
    if (request.size() != 2) return malformed(service);
    const std::uint8_t mode = request[1];
    if (mode != 0x81 && mode != 0x85) return malformed(service);
    return {positive(service), mode};
}

Bytes read_ecu_identification(std::span<const std::uint8_t> request, std::string_view vin) {
    constexpr std::uint8_t service = 0x1A;
    if (request.size() != 2) return malformed(service);
    if (request[1] != 0x90) return negative_response(service, nrc::request_out_of_range);
    Bytes answer{positive(service), 0x90};
    answer.insert(answer.end(), vin.begin(), vin.end());
    return answer;
}

Bytes read_data_by_local_id(std::span<const std::uint8_t> request, const EngineReadings& r) {
    constexpr std::uint8_t service = 0x21;
    if (request.size() != 2) return malformed(service);
    if (request[1] != 0x01) return negative_response(service, nrc::request_out_of_range);
    return {positive(service),
            0x01,
            byte_of(r.rpm >> 8),
            byte_of(r.rpm),
            byte_of(static_cast<std::uint32_t>(std::clamp(r.coolant_c + 40, 0, 255))),
            byte_of(r.speed_kmh),
            byte_of(r.throttle_pct),
            byte_of(r.module_mv / 100)};
}

std::optional<Bytes> tester_present(std::span<const std::uint8_t> request) {
    constexpr std::uint8_t service = 0x3E;
    if (request.size() > 2) return malformed(service);
    const std::uint8_t response_required = request.size() == 2 ? request[1] : 0x01;
    if (response_required == 0x02) return std::nullopt;
    if (response_required != 0x01) return malformed(service);
    return Bytes{positive(service)};
}

// Mode 01, 03, 04 and 09 requests.
std::vector<Bytes> obd_answer(std::span<const std::uint8_t> request, KwpContext& context) {
    switch (request[0]) {
        case 0x01: return {obd_current_data(request, context.profile, context.readings, context.dtcs.size())};
        case 0x03: return obd_stored_dtcs_short(request, context.dtcs);
        case 0x04:
            if (request.size() != 1) return {malformed(0x04)};
            context.dtcs.clear();
            return {Bytes{0x44}};
        default: return obd_vehicle_info_short(request, context.vin);
    }
}

bool is_obd_service(std::uint8_t service) {
    return service == 0x01 || service == 0x03 || service == 0x04 || service == 0x09;
}

}  // namespace

KwpOutcome kwp_answer(std::span<const std::uint8_t> request, KwpContext& context) {
    if (request.empty()) return {};
    const std::uint8_t service = request[0];
    if (is_obd_service(service)) {
        std::vector<Bytes> answers = obd_answer(request, context);
        const Bytes& first = answers.front();
        if (context.functional && first.size() == 3 && first[0] == negative_response_sid &&
            suppressed_when_functional(first[2]))
            return {};
        return {std::move(answers)};
    }
    const auto one = [](std::optional<Bytes> answer) {
        return answer ? std::vector<Bytes>{std::move(*answer)} : std::vector<Bytes>{};
    };
    switch (service) {
        case 0x81:
            if (request.size() != 1) return {{malformed(service)}};
            return {{Bytes{positive(service), context.key_bytes[0], context.key_bytes[1]}}};
        case 0x82:
            if (request.size() != 1) return {{malformed(service)}};
            return {{Bytes{positive(service)}}, true};
        case 0x10: return {{start_diagnostic_session(request)}};
        case 0x1A: return {{read_ecu_identification(request, context.vin)}};
        case 0x21: return {{read_data_by_local_id(request, context.readings)}};
        case 0x3E: return {one(tester_present(request))};
        default: return {{negative_response(service, nrc::service_not_supported)}};
    }
}

}  // namespace vexo::sim
