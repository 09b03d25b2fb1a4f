#include "obd_decode.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>

#include "core/text_format.h"

namespace vexo::tools {

namespace {

constexpr std::array<PidInfo, 7> kCommonPids = {{
    {0x0C, "engine_speed", "engine speed", "rpm", 2, 0},
    {0x0D, "vehicle_speed", "vehicle speed", "km/h", 1, 0},
    {0x05, "coolant_temperature", "coolant temperature", "\u00B0C", 1, 0},
    {0x0F, "intake_air_temperature", "intake air temperature", "\u00B0C", 1, 0},
    {0x11, "throttle_position", "throttle position", "%", 1, 1},
    {0x2F, "fuel_level", "fuel level", "%", 1, 1},
    {0x42, "control_module_voltage", "control module voltage", "V", 2, 2},
}};

struct NrcEntry {
    std::uint8_t code;
    std::string_view name;
};

constexpr std::array<NrcEntry, 40> kNrcNames = {{
    {0x10, "generalReject"},
    {0x11, "serviceNotSupported"},
    {0x12, "subFunctionNotSupported"},
    {0x13, "incorrectMessageLengthOrInvalidFormat"},
    {0x14, "responseTooLong"},
    {0x21, "busyRepeatRequest"},
    {0x22, "conditionsNotCorrect"},
    {0x24, "requestSequenceError"},
    {0x25, "noResponseFromSubnetComponent"},
    {0x26, "failurePreventsExecutionOfRequestedAction"},
    {0x31, "requestOutOfRange"},
    {0x33, "securityAccessDenied"},
    {0x35, "invalidKey"},
    {0x36, "exceedNumberOfAttempts"},
    {0x37, "requiredTimeDelayNotExpired"},
    {0x70, "uploadDownloadNotAccepted"},
    {0x71, "transferDataSuspended"},
    {0x72, "generalProgrammingFailure"},
    {0x73, "wrongBlockSequenceCounter"},
    {0x78, "responsePending"},
    {0x7E, "subFunctionNotSupportedInActiveSession"},
    {0x7F, "serviceNotSupportedInActiveSession"},
    {0x81, "rpmTooHigh"},
    {0x82, "rpmTooLow"},
    {0x83, "engineIsRunning"},
    {0x84, "engineIsNotRunning"},
    {0x85, "engineRunTimeTooLow"},
    {0x86, "temperatureTooHigh"},
    {0x87, "temperatureTooLow"},
    {0x88, "vehicleSpeedTooHigh"},
    {0x89, "vehicleSpeedTooLow"},
    {0x8A, "throttlePedalTooHigh"},
    {0x8B, "throttlePedalTooLow"},
    {0x8C, "transmissionRangeNotInNeutral"},
    {0x8D, "transmissionRangeNotInGear"},
    {0x8F, "brakeSwitchesNotClosed"},
    {0x90, "shifterLeverNotInPark"},
    {0x91, "torqueConverterClutchLocked"},
    {0x92, "voltageTooHigh"},
    {0x93, "voltageTooLow"},
}};

constexpr char kDtcLetters[] = {'P', 'C', 'B', 'U'};

}  // namespace

std::span<const PidInfo> common_pids() { return kCommonPids; }

const PidInfo* find_pid(std::uint8_t pid) {
    for (const PidInfo& info : kCommonPids) {
        if (info.pid == pid) return &info;
    }
    return nullptr;
}

std::optional<double> decode_pid(std::uint8_t pid, std::span<const std::uint8_t> data) {
    const PidInfo* info = find_pid(pid);
    if (info == nullptr || data.size() < info->data_bytes) return std::nullopt;
    const double a = data[0];
    const double ab = info->data_bytes >= 2 ? a * 256.0 + data[1] : a;
    switch (pid) {
        case 0x0C: return ab / 4.0;
        case 0x0D: return a;
        case 0x05:
        case 0x0F: return a - 40.0;
        case 0x11:
        case 0x2F: return a * 100.0 / 255.0;
        case 0x42: return ab / 1000.0;
        default: return std::nullopt;
    }
}

std::vector<std::uint8_t> supported_pids(std::uint8_t base, std::span<const std::uint8_t> bitmap) {
    std::vector<std::uint8_t> pids;
    for (std::size_t byte = 0; byte < bitmap.size() && byte < 4; ++byte) {
        for (int bit = 0; bit < 8; ++bit) {
            const std::size_t pid = base + byte * 8 + static_cast<std::size_t>(bit) + 1;
            if ((bitmap[byte] & (0x80 >> bit)) != 0 && pid <= 0xFF) pids.push_back(static_cast<std::uint8_t>(pid));
        }
    }
    return pids;
}

std::string format_fixed(double value, int decimals) {
    const double scale = std::pow(10.0, decimals);
    // Rounding here, not in to_chars, keeps 0.5 steps away from zero on every platform.
    double rounded = std::round(value * scale) / scale;
    if (rounded == 0.0) rounded = 0.0;  // no "-0"
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, rounded, std::chars_format::fixed, decimals);
    return std::string(buffer, result.ptr);
}

std::string format_volts(std::uint32_t millivolts) {
    const std::uint64_t centivolts = (static_cast<std::uint64_t>(millivolts) + 5) / 10;
    const std::uint64_t fraction = centivolts % 100;
    return std::to_string(centivolts / 100) + (fraction < 10 ? ".0" : ".") + std::to_string(fraction);
}

std::string decode_dtc(std::uint8_t high, std::uint8_t low) {
    std::string code(1, kDtcLetters[high >> 6]);
    code += static_cast<char>('0' + ((high >> 4) & 0x3));
    code += text::hex_upper(high & 0xFu, 1);
    code += text::hex_upper(low, 2);
    return code;
}

std::optional<std::vector<std::string>> decode_dtc_response(std::span<const std::uint8_t> payload) {
    if (payload.empty() || (payload[0] != 0x43 && payload[0] != 0x47 && payload[0] != 0x4A)) return std::nullopt;
    std::span<const std::uint8_t> rest = payload.subspan(1);
    if (rest.size() % 2 != 0) rest = rest.subspan(1);
    std::vector<std::string> codes;
    for (std::size_t i = 0; i + 1 < rest.size(); i += 2) {
        if (rest[i] == 0 && rest[i + 1] == 0) continue;
        codes.push_back(decode_dtc(rest[i], rest[i + 1]));
    }
    return codes;
}

std::optional<std::string> decode_vin(std::span<const std::uint8_t> payload) {
    constexpr std::size_t kVinLength = 17;
    if (payload.size() < 2 || payload[0] != 0x49 || payload[1] != 0x02) return std::nullopt;
    const std::span<const std::uint8_t> rest = payload.subspan(2);
    if (rest.size() < kVinLength) return std::nullopt;
    // The characters are the last 17 bytes: the count byte and any fill bytes come before them.
    std::string vin;
    for (const std::uint8_t byte : rest.last(kVinLength)) {
        vin += (byte >= 0x20 && byte < 0x7F) ? static_cast<char>(byte) : '?';
    }
    return vin;
}

std::string_view nrc_name(std::uint8_t nrc) {
    for (const NrcEntry& entry : kNrcNames) {
        if (entry.code == nrc) return entry.name;
    }
    if (nrc >= 0xF0 && nrc <= 0xFE) return "vehicleManufacturerSpecific";
    return "unknownNegativeResponse";
}

ResponseKind classify_response(std::span<const std::uint8_t> request, std::size_t echo_length,
                               std::span<const std::uint8_t> payload) {
    if (request.empty() || payload.empty()) return ResponseKind::Unrelated;
    const std::uint8_t sid = request[0];
    if (payload[0] == static_cast<std::uint8_t>(sid + 0x40)) {
        const std::size_t echo = std::min(echo_length, request.size() - 1);
        if (payload.size() < 1 + echo ||
            !std::equal(request.begin() + 1, request.begin() + 1 + static_cast<std::ptrdiff_t>(echo),
                        payload.begin() + 1)) {
            return ResponseKind::Unrelated;
        }
        return ResponseKind::Positive;
    }
    if (payload[0] == kNegativeResponse && payload.size() >= 3 && payload[1] == sid) {
        return payload[2] == kNrcResponsePending ? ResponseKind::Pending : ResponseKind::Negative;
    }
    return ResponseKind::Unrelated;
}

}  // namespace vexo::tools
