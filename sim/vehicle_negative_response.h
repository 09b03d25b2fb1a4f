#pragma once

#include <cstdint>

#include "sim/cable_frames.h"

namespace vexo::sim {

// Negative response codes shared by UDS (ISO 14229) and KWP2000 (ISO 14230-3).
namespace nrc {
inline constexpr std::uint8_t service_not_supported = 0x11;
inline constexpr std::uint8_t sub_function_not_supported = 0x12;  // KWP2000: also a malformed request
inline constexpr std::uint8_t incorrect_length = 0x13;
inline constexpr std::uint8_t request_sequence_error = 0x24;
inline constexpr std::uint8_t request_out_of_range = 0x31;
inline constexpr std::uint8_t invalid_key = 0x35;
inline constexpr std::uint8_t sub_function_not_supported_in_session = 0x7E;
inline constexpr std::uint8_t service_not_supported_in_session = 0x7F;
}  // namespace nrc

inline constexpr std::uint8_t negative_response_sid = 0x7F;

inline Bytes negative_response(std::uint8_t service, std::uint8_t code) {
    return {negative_response_sid, service, code};
}

// The codes an ECU keeps to itself when the request was functionally addressed, so that
// a broadcast is answered only by the ECUs that can serve it.
constexpr bool suppressed_when_functional(std::uint8_t code) {
    return code == nrc::service_not_supported || code == nrc::sub_function_not_supported ||
           code == nrc::request_out_of_range || code == nrc::sub_function_not_supported_in_session ||
           code == nrc::service_not_supported_in_session;
}

}  // namespace vexo::sim
