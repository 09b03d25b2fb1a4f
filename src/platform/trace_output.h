#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "vexo/trace_file.h"

// The trace's two outputs: the debugger and the log file.
namespace vexo::platform {

// Sends one line (UTF-8, no terminator) to the debugger output: OutputDebugStringW on
// Windows; POSIX has no such channel.
void debug_output(std::string_view line);

// File name of the trace, inside the temporary directory.
inline constexpr std::string_view kLogFileName = VEXO_TRACE_FILE_NAME;

// Where a POSIX trace goes when neither TEMP nor TMPDIR names a directory: <this>/vexo-<uid>/.
inline constexpr std::string_view kSharedTempDirectory = "/tmp";

// Moves that shared directory, so tests of the per-user fallback work in a scratch directory
// rather than in the /tmp every other test process shares. No effect on Windows.
void set_shared_temp_directory(std::string directory);

// A trace file that a line would take beyond this size is renamed to kLogFileName + ".1",
// replacing an older one, and the line starts a new file: at most twice this is ever kept.
inline constexpr std::uint64_t kTraceRotationSize = std::uint64_t{64} << 20;
inline constexpr std::string_view kRotatedSuffix = ".1";

// For tests: rotates at another size; 0 puts kTraceRotationSize back.
void set_trace_rotation_size(std::uint64_t bytes);
std::uint64_t trace_rotation_size();

// Appends the text and one LF to the trace file in one write, opening and closing it for this line
// so that nothing stays open between calls. Windows: the directory is %TEMP%; no TEMP, no file.
// POSIX: TEMP, else TMPDIR, else the user's own /tmp/vexo-<uid>/ (made 0700). Every failure is
// swallowed. Several processes write the same file: the size check, the rotation and the write
// happen under an advisory lock on the file, so no process rotates a file another has just
// rotated and no line is lost to the rename or split.
void append_log_line(std::string_view text);

}  // namespace vexo::platform
