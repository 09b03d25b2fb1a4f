#include <windows.h>

#include <algorithm>
#include <utility>

#include "platform/module_path.h"
#include "platform/wide_text_win32.h"

namespace vexo::platform {
namespace {

// Any address inside this module identifies it.
const char kAnchor = 0;
// The longest path Windows knows, counting the terminator.
constexpr std::size_t kLongestPath = 32768;

std::unexpected<SystemError> failure(DWORD code, std::string_view call) {
    return std::unexpected(SystemError{static_cast<std::uint32_t>(code), call});
}

}  // namespace

std::expected<std::string, SystemError> own_module_path() {
    HMODULE module = nullptr;
    if (!::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                              reinterpret_cast<LPCWSTR>(&kAnchor), &module)) {
        return failure(::GetLastError(), "GetModuleHandleExW");
    }
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = ::GetModuleFileNameW(module, path.data(), static_cast<DWORD>(path.size()));
        if (n == 0) return failure(::GetLastError(), "GetModuleFileNameW");
        if (n < path.size()) {  // otherwise truncated
            path.resize(n);
            break;
        }
        if (path.size() >= kLongestPath) return failure(ERROR_INSUFFICIENT_BUFFER, "GetModuleFileNameW");
        path.resize(std::min(path.size() * 2, kLongestPath));
    }
    std::optional<std::string> utf8 = to_utf8(path);
    if (!utf8) return failure(ERROR_NO_UNICODE_TRANSLATION, "GetModuleFileNameW");
    return *std::move(utf8);
}

}  // namespace vexo::platform
