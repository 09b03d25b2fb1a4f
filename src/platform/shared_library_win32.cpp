#include <windows.h>

#include "platform/shared_library.h"
#include "platform/wide_text_win32.h"

namespace vexo::platform {

namespace {

// Directory of the DLL (or EXE) this code was linked into, with its trailing backslash.
std::wstring own_directory() {
    HMODULE self = nullptr;
    if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            reinterpret_cast<LPCWSTR>(&own_directory), &self)) {
        return {};
    }
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = GetModuleFileNameW(self, path.data(), static_cast<DWORD>(path.size()));
        if (n == 0) return {};
        if (n < path.size()) {
            path.resize(n);
            break;
        }
        path.resize(path.size() * 2);
    }
    const auto slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash + 1);
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
