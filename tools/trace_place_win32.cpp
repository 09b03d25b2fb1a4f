#include <windows.h>

#include <string>

#include "trace_place.h"

namespace vexo::tools {

std::optional<std::filesystem::path> trace_directory() {
    const DWORD size = GetEnvironmentVariableW(L"TEMP", nullptr, 0);
    if (size <= 1) return std::nullopt;
    std::wstring value(size, L'\0');
    const DWORD length = GetEnvironmentVariableW(L"TEMP", value.data(), size);
    if (length == 0 || length >= size) return std::nullopt;
    value.resize(length);
    return std::filesystem::path(value);
}

// The library reads the process environment block, which SetEnvironmentVariableW changes.
void steer_trace_to(const std::filesystem::path& directory) {
    SetEnvironmentVariableW(L"TEMP", directory.wstring().c_str());
}

std::filesystem::path no_trace_directory() { return "NUL"; }

bool stderr_is_terminal() {
    DWORD mode = 0;
    return GetConsoleMode(GetStdHandle(STD_ERROR_HANDLE), &mode) != 0;
}

}  // namespace vexo::tools
