#pragma once

#include <functional>
#include <string_view>

namespace vexo::platform {

// Sends one line (UTF-8, no terminator) to the debugger output: OutputDebugStringW on Windows.
void debug_output(std::string_view line);

// A process-local observer of every debug_output line, on every platform; tests use it.
// Silent (no sink) unless set. Pass nullptr to remove it.
using DebugSink = std::function<void(std::string_view)>;
void set_debug_sink(DebugSink sink);

}  // namespace vexo::platform
