#pragma once

#include <cstdint>
#include <span>
#include <string>

// How monitor writes a received CAN frame: its own table, and can-utils' candump log format, which
// log2asc, canplayer and the rest of can-utils read.
namespace vexo::tools {

// The interface name in candump log lines: what canplayer maps to a real interface.
inline constexpr const char* kCandumpInterface = "vexo0";

// "(0012.345678)  7E8   [8]  03 41 0C 1A F8 00 00 00\n"; `time_us` counts from whatever the user chose.
std::string table_line(std::uint64_t time_us, std::uint32_t id, bool wide, std::span<const std::uint8_t> data);

// "(1733650000.123456) vexo0 7E8#0341057B\n", with eight digits for a 29-bit ID.
std::string candump_log_line(std::uint64_t unix_us, std::uint32_t id, bool wide, std::span<const std::uint8_t> data);

}  // namespace vexo::tools
