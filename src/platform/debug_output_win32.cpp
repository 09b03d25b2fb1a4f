#include <windows.h>

#include <mutex>

#include "platform/debug_output.h"
#include "platform/wide_text_win32.h"

namespace vexo::platform {

namespace {
std::mutex sink_mutex;
DebugSink& sink() {
    static DebugSink instance;
    return instance;
}
}  // namespace

void debug_output(std::string_view line) {
    ::OutputDebugStringW(to_utf16(line).c_str());
    std::lock_guard lock(sink_mutex);
    if (sink()) sink()(line);
}

void set_debug_sink(DebugSink s) {
    std::lock_guard lock(sink_mutex);
    sink() = std::move(s);
}

}  // namespace vexo::platform
