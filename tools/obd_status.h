#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

// Mode 01 PIDs that describe the OBD system rather than the engine: 01 (MIL, code count, readiness of
// each monitor) and 1C (which OBD standard the vehicle meets).
namespace vexo::tools {

struct MonitorReadiness {
    std::string_view name;
    bool complete;
};

struct MonitorStatus {
    bool mil_on;
    unsigned dtc_count;
    bool compression_ignition;
    std::vector<MonitorReadiness> monitors;  // those the vehicle has, in bit order
};

// `data` are the four bytes after "41 01"; nullopt when fewer.
std::optional<MonitorStatus> decode_monitor_status(std::span<const std::uint8_t> data);

// PID 1C's value by name: 0x03 -> "OBD and OBD-II"; "" for a value this list lacks.
std::string_view obd_standard_name(std::uint8_t value);

}  // namespace vexo::tools
