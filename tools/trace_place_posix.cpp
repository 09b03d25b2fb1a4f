#include <unistd.h>

#include <cstdlib>
#include <string>

#include "trace_place.h"

namespace vexo::tools {

std::optional<std::filesystem::path> trace_directory() {
    for (const char* name : {"TEMP", "TMPDIR"}) {
        const char* value = std::getenv(name);
        if (value != nullptr && *value != '\0') return std::filesystem::path(value);
    }
    return std::filesystem::path("/tmp") / ("vexo-" + std::to_string(::getuid()));
}

void steer_trace_to(const std::filesystem::path& directory) { ::setenv("TEMP", directory.c_str(), 1); }

std::filesystem::path no_trace_directory() { return "/dev/null"; }

bool stderr_is_terminal() { return ::isatty(STDERR_FILENO) == 1; }

}  // namespace vexo::tools
