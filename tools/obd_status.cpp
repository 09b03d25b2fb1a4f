#include <array>

#include "obd_decode.h"

namespace vexo::tools {

namespace {

// Byte B's low three bits: monitors every vehicle may have; bits 4-6 say which are not complete yet.
constexpr std::array<std::string_view, 3> kCommonMonitors = {"misfire", "fuel system", "components"};
// Bytes C (has it) and D (not complete yet), which differ between spark and compression ignition.
constexpr std::array<std::string_view, 8> kSparkMonitors = {
    "catalyst", "heated catalyst", "evaporative system", "secondary air system",
    "A/C refrigerant", "oxygen sensor", "oxygen sensor heater", "EGR system"};
constexpr std::array<std::string_view, 8> kCompressionMonitors = {
    "NMHC catalyst", "NOx/SCR monitor", "", "boost pressure", "", "exhaust gas sensor", "PM filter", "EGR/VVT system"};

constexpr std::array<std::string_view, 14> kStandards = {
    "",          "OBD-II as defined by CARB", "OBD as defined by the EPA", "OBD and OBD-II", "OBD-I",
    "not OBD compliant", "EOBD", "EOBD and OBD-II", "EOBD and OBD", "EOBD, OBD and OBD-II", "JOBD",
    "JOBD and OBD-II", "JOBD and EOBD", "JOBD, EOBD and OBD-II"};

}  // namespace

std::optional<MonitorStatus> decode_monitor_status(std::span<const std::uint8_t> data) {
    if (data.size() < 4) return std::nullopt;
    MonitorStatus status{(data[0] & 0x80) != 0, data[0] & 0x7Fu, (data[1] & 0x08) != 0, {}};
    for (unsigned bit = 0; bit < kCommonMonitors.size(); ++bit) {
        if ((data[1] >> bit & 1) != 0) status.monitors.push_back({kCommonMonitors[bit], (data[1] >> (bit + 4) & 1) == 0});
    }
    const auto& names = status.compression_ignition ? kCompressionMonitors : kSparkMonitors;
    for (unsigned bit = 0; bit < names.size(); ++bit) {
        if ((data[2] >> bit & 1) != 0 && !names[bit].empty()) {
            status.monitors.push_back({names[bit], (data[3] >> bit & 1) == 0});
        }
    }
    return status;
}

std::string_view obd_standard_name(std::uint8_t value) { return value < kStandards.size() ? kStandards[value] : ""; }

}  // namespace vexo::tools
