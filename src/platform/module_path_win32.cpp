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

// The full path of this module as Windows gives it.
std::expected<std::wstring, SystemError> own_wide_path() {
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
            return path;
        }
        if (path.size() >= kLongestPath) return failure(ERROR_INSUFFICIENT_BUFFER, "GetModuleFileNameW");
        path.resize(std::min(path.size() * 2, kLongestPath));
    }
}

// Directory of this module with its trailing backslash; empty when unknown.
std::wstring own_directory() {
    const auto path = own_wide_path();
    if (!path) return {};
    const auto slash = path->find_last_of(L"\\/");
    return slash == std::wstring::npos ? std::wstring() : path->substr(0, slash + 1);
}

HMODULE load_by_system_search(const std::wstring& name) {
    // The copy the application already has; taking a reference keeps it while we use it.
    if (GetModuleHandleW(name.c_str()) != nullptr) return LoadLibraryW(name.c_str());
    HMODULE module = LoadLibraryExW(name.c_str(), nullptr, LOAD_LIBRARY_SEARCH_DEFAULT_DIRS);
    // Windows 7 without KB2533623 knows no search flags; its plain search is all there is.
    if (module == nullptr && GetLastError() == ERROR_INVALID_PARAMETER) module = LoadLibraryW(name.c_str());
    return module;
}

}  // namespace

std::expected<std::string, SystemError> own_module_path() {
    const auto path = own_wide_path();
    if (!path) return std::unexpected(path.error());
    std::optional<std::string> utf8 = to_utf8(*path);
    if (!utf8) return failure(ERROR_NO_UNICODE_TRANSLATION, "GetModuleFileNameW");
    return *std::move(utf8);
}

SharedLibraryLoad load_library_beside_self(const std::string& file_name) {
    const std::wstring name = to_utf16(file_name);
    const std::wstring dir = own_directory();
    if (!dir.empty()) {
        const std::wstring beside = dir + name;
        if (HMODULE module = LoadLibraryExW(beside.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH)) {
            return {module, {}};
        }
    }
    if (HMODULE module = load_by_system_search(name)) return {module, {}};
    const std::string where = dir.empty() ? std::string() : to_utf8(dir).value_or("our own folder") + " and ";
    return {nullptr, where + "the system folders"};
}

void* library_symbol(void* handle, const char* name) {
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(handle), name));
}

}  // namespace vexo::platform
