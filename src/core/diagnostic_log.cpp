// Placeholder until the log file lands: lines reach the debugger output only.
#include "core/diagnostic_log.h"

#include <string>

#include "platform/debug_output.h"

namespace vexo {
void log_line(std::string_view text) { platform::debug_output(text); }
void driver_log(std::string_view text) { platform::debug_output("[tactrix] " + std::string(text)); }
void log_hex_dump(std::string_view, std::span<const std::uint8_t>) {}
std::vector<std::string> format_byte_list(std::span<const std::uint8_t>) { return {}; }
std::vector<std::string> format_config_list(std::span<const ConfigPair>) { return {}; }
}  // namespace vexo
