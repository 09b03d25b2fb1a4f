#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>

// The trace a support engineer reads: every line goes to the debugger output and is appended
// to j2534-0404.log in the temporary directory. Never fails towards its caller.
namespace vexo {

// A process-local observer of every trace line, on every platform; tests use it. Silent (no
// sink) unless set. Pass nullptr to remove it.
using DebugSink = std::function<void(std::string_view)>;
void set_debug_sink(DebugSink sink);

// Writes one line exactly as given.
void log_line(std::string_view text);
// Writes "[tactrix] " followed by the text.
void driver_log(std::string_view text);
// "{label}: {n} bytes [{first 48 bytes}{ …}]" through driver_log.
void log_hex_dump(std::string_view label, std::span<const std::uint8_t> bytes);

}  // namespace vexo
