#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "command_line.h"
#include "j2534_library.h"
#include "json_report.h"
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

// One line of JSON on stdout.
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
