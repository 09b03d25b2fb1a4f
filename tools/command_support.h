#pragma once

#include <cstdint>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>

#include "command_line.h"
#include "j2534_library.h"
#include "passthru_session.h"
#include "tool_error.h"

namespace vexo::tools {

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailure = 1;
inline constexpr int kExitUsage = 2;
inline constexpr int kExitNegativeResponse = 3;
inline constexpr int kExitInterrupted = 130;

struct CommandContext {
    const Options& options;
    const J2534Library& library;
};

// PassThruOpen; when no cable answers outside the simulation, the error carries the platform's hint.
Result<Session> open_session(const CommandContext& context);
// Closes the session at the end of a command that otherwise succeeded.
VoidResult finish(Session& session);

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
// One line of JSON on stdout. Text from a device that is not UTF-8 shows as U+FFFD; nothing throws.
void print_json(const Json& json);

// Applies --trace-dir and --no-trace before the library loads; a directory that is none is a usage error.
VoidResult steer_trace(const Options& options);
// The library's trace file for this run, or nullopt when nothing is traced.
std::optional<std::filesystem::path> trace_file(const Options& options);
// Tells a user at a terminal, once (before the file exists), where the trace goes and how to steer it.
void announce_trace(const Options& options);

// Standard output and error. A write to standard output that fails is kept: output_status() then
// fails the command with the system's reason, and a command that goes on printing stops.
void print_out(std::string_view text);
void print_err(std::string_view text);
VoidResult output_status();

// How the failure reaches the user: one line (plus hint) on stderr, or the JSON error object on stdout.
// Returns the exit code.
int report_failure(const ToolError& error, Command command, bool json);

}  // namespace vexo::tools
