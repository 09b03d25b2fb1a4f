#pragma once

#include <cstdint>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>

#include "command_line.h"

// What --json prints: one object per outcome, on a line of its own.
namespace vexo::tools {

// Keys in the order written, as the README documents them.
using Json = nlohmann::ordered_json;

// The version of every JSON object vexo prints; raised when a key changes meaning or goes away.
inline constexpr std::uint32_t kJsonSchema = 1;

// A JSON report for `command` (or vexo's own, "version"), holding "schema", "command" and "ok".
Json json_report(std::string_view command, bool ok = true);
Json json_report(Command command, bool ok = true);
// A decimal number already rounded to what it means ("12.35", "1726") as a JSON number.
Json json_decimal(std::string_view digits);
// A JSON value, or null for none.
template <class T>
Json json_or_null(const std::optional<T>& value) {
    return value ? Json(*value) : Json(nullptr);
}
// The line printed for `json`. Text from a device that is not UTF-8 shows as U+FFFD; nothing throws.
std::string json_line(const Json& json);

}  // namespace vexo::tools
