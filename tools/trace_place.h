#pragma once

#include <filesystem>
#include <optional>
#include <string_view>

#include "vexo/trace_file.h"

// Where the J2534 library writes its trace, by the library's own rule (the directory it reads from the
// environment), and how this run steers it: through that same environment, before the library loads.
namespace vexo::tools {

inline constexpr std::string_view kTraceFileName = VEXO_TRACE_FILE_NAME;

// POSIX: TEMP, else TMPDIR, else /tmp/vexo-<uid>; Windows: %TEMP%, or none without it.
std::optional<std::filesystem::path> trace_directory();
// Sets the directory the library reads for the rest of this process.
void steer_trace_to(const std::filesystem::path& directory);
// A directory no file can be made in ("/dev/null", "NUL"): the library then writes no trace.
std::filesystem::path no_trace_directory();

bool stderr_is_terminal();

}  // namespace vexo::tools
