#include <windows.h>

#include <mutex>
#include <optional>
#include <string>

#include "platform/environment.h"
#include "platform/trace_output.h"
#include "platform/wide_text_win32.h"

namespace vexo::platform {

namespace {

// TEMP, read afresh for every line. Unset, empty or not valid Unicode: no directory.
std::optional<std::wstring> temp_directory() {
    const std::optional<std::string> value = environment_value("TEMP");
    if (!value || value->empty()) return std::nullopt;
    return to_utf16(*value);
}

void write_bytes(HANDLE file, const char* data, std::size_t size) {
    DWORD written = 0;
    ::WriteFile(file, data, static_cast<DWORD>(size), &written, nullptr);
}

}  // namespace

void debug_output(std::string_view line) { ::OutputDebugStringW(to_utf16(line).c_str()); }

// Windows has no shared fallback: without TEMP there is no file.
void set_shared_temp_directory(std::string) {}

void append_log_line(std::string_view text) {
    const auto directory = temp_directory();
    if (!directory) return;
    // Plain text join: a TEMP ending in a backslash gives a doubled one, which Windows accepts.
    std::wstring path = *directory;
    path.push_back(L'\\');
    path.append(to_utf16(kLogFileName));

    // Append-only access lands every write at the current end, also with other writers. Wine
    // emulates that as a seek to the end and a write, so two threads can land on the same end
    // and one line is lost: the writers of this process take turns.
    static std::mutex* const turn = new std::mutex;
    std::lock_guard lock(*turn);
    const HANDLE file =
        ::CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                      OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    // One write with its LF: lines of concurrent writers then never interleave.
    std::string line;
    line.reserve(text.size() + 1);
    line.append(text).push_back('\n');
    write_bytes(file, line.data(), line.size());
    ::CloseHandle(file);
}

}  // namespace vexo::platform
