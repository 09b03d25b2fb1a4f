#include <windows.h>

#include "platform/environment.h"
#include "platform/wide_text_win32.h"

namespace vexo::platform {

std::optional<std::string> environment_value(const std::string& name) {
    const std::wstring wide_name = to_utf16(name);
    std::wstring value(256, L'\0');
    for (;;) {
        ::SetLastError(ERROR_SUCCESS);
        const DWORD n = ::GetEnvironmentVariableW(wide_name.c_str(), value.data(), static_cast<DWORD>(value.size()));
        if (n == 0) {
            if (::GetLastError() == ERROR_ENVVAR_NOT_FOUND) return std::nullopt;
            return std::string();
        }
        if (n < value.size()) {
            value.resize(n);
            return to_utf8(value);
        }
        value.resize(n);  // too small: n counts the terminator
    }
}

void set_environment_value(const std::string& name, const std::optional<std::string>& value) {
    const std::wstring wide_name = to_utf16(name);
    if (value) {
        ::SetEnvironmentVariableW(wide_name.c_str(), to_utf16(*value).c_str());
    } else {
        ::SetEnvironmentVariableW(wide_name.c_str(), nullptr);
    }
}

}  // namespace vexo::platform
