#include "sim/vehicle_uds_services.h"

#include "sim/vehicle_negative_response.h"

namespace vexo::sim {

namespace {

constexpr std::uint8_t suppress_positive = 0x80;

constexpr std::uint8_t positive(std::uint8_t service) { return static_cast<std::uint8_t>(service + 0x40); }
constexpr std::uint8_t hi(std::uint16_t value) { return static_cast<std::uint8_t>(value >> 8); }
constexpr std::uint8_t lo(std::uint16_t value) { return static_cast<std::uint8_t>(value); }

std::uint8_t sub_function(std::span<const std::uint8_t> request) {
    return static_cast<std::uint8_t>(request[1] & ~suppress_positive);
}

std::optional<Bytes> unless_suppressed(std::span<const std::uint8_t> request, Bytes answer) {
    if (request[1] & suppress_positive) return std::nullopt;
    return answer;
}

}  // namespace

std::optional<Bytes> uds_session_control(std::span<const std::uint8_t> request, UdsState& state) {
    constexpr std::uint8_t service = 0x10;
    if (request.size() != 2) return negative_response(service, nrc::incorrect_length);
    const std::uint8_t wanted = sub_function(request);
    if (wanted != session::default_session && wanted != session::programming && wanted != session::extended)
        return negative_response(service, nrc::sub_function_not_supported);
    state.enter(wanted);
    return unless_suppressed(request, {positive(service), wanted, 0x00, 0x32, 0x01, 0xF4});
}

std::optional<Bytes> uds_ecu_reset(std::span<const std::uint8_t> request, UdsState& state) {
    constexpr std::uint8_t service = 0x11;
    if (request.size() != 2) return negative_response(service, nrc::incorrect_length);
    const std::uint8_t kind = sub_function(request);
    if (kind != 0x01 && kind != 0x03) return negative_response(service, nrc::sub_function_not_supported);
    state.enter(session::default_session);
    return unless_suppressed(request, {positive(service), kind});
}

std::optional<Bytes> uds_read_data_by_id(std::span<const std::uint8_t> request, const DataIdentifiers& dids) {
    constexpr std::uint8_t service = 0x22;
    if (request.size() < 3 || request.size() % 2 == 0) return negative_response(service, nrc::incorrect_length);
    Bytes answer{positive(service)};
    for (std::size_t at = 1; at < request.size(); at += 2) {
        const auto did = static_cast<std::uint16_t>(request[at] << 8 | request[at + 1]);
        const auto found = dids.find(did);
        if (found == dids.end()) continue;
        answer.push_back(hi(did));
        answer.push_back(lo(did));
        append(answer, found->second);
    }
    if (answer.size() == 1) return negative_response(service, nrc::request_out_of_range);
    return answer;
}

std::optional<Bytes> uds_security_access(std::span<const std::uint8_t> request, UdsState& state,
                                         std::uint16_t fresh_seed) {
    constexpr std::uint8_t service = 0x27;
    constexpr std::uint8_t request_seed = 0x01;
    constexpr std::uint8_t send_key = 0x02;
    if (request.size() < 2) return negative_response(service, nrc::incorrect_length);
    const std::uint8_t level = sub_function(request);
    if (level == request_seed) {
        if (request.size() != 2) return negative_response(service, nrc::incorrect_length);
        if (state.unlocked) return unless_suppressed(request, {positive(service), level, 0x00, 0x00});
        const std::uint16_t seed = fresh_seed != 0 ? fresh_seed : 0x1234;
        state.pending_seed = seed;
        return unless_suppressed(request, {positive(service), level, hi(seed), lo(seed)});
    }
    if (level == send_key) {
        if (request.size() != 4) return negative_response(service, nrc::incorrect_length);
        if (!state.pending_seed) return negative_response(service, nrc::request_sequence_error);
        const auto key = static_cast<std::uint16_t>(request[2] << 8 | request[3]);
        const std::uint16_t expected = security_key(*state.pending_seed);
        state.pending_seed.reset();
        if (key != expected) return negative_response(service, nrc::invalid_key);
        state.unlocked = true;
        return unless_suppressed(request, {positive(service), level});
    }
    return negative_response(service, nrc::sub_function_not_supported);
}

std::optional<Bytes> uds_tester_present(std::span<const std::uint8_t> request) {
    constexpr std::uint8_t service = 0x3E;
    if (request.size() != 2) return negative_response(service, nrc::incorrect_length);
    if (sub_function(request) != 0x00) return negative_response(service, nrc::sub_function_not_supported);
    return unless_suppressed(request, {positive(service), 0x00});
}

}  // namespace vexo::sim
