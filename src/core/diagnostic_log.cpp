// Placeholder until the log lands.
#include "core/diagnostic_log.h"

namespace vexo {
void log_line(std::string_view) {}
void driver_log(std::string_view) {}
void log_hex_dump(std::string_view, std::span<const std::uint8_t>) {}
std::vector<std::string> format_byte_list(std::span<const std::uint8_t>) { return {}; }
std::vector<std::string> format_config_list(std::span<const ConfigPair>) { return {}; }
}  // namespace vexo
