#include <windows.h>

#include "platform/registry.h"
#include "platform/wide_text_win32.h"

namespace vexo::platform {
namespace {

// Explicit, so each build writes the view of the applications that can load it: a 32-bit DLL
// the 32-bit view, a 64-bit DLL the 64-bit one, however the registering process was started.
constexpr REGSAM kView = sizeof(void*) == 4 ? KEY_WOW64_32KEY : KEY_WOW64_64KEY;

class KeyHandle {
public:
    KeyHandle() = default;
    KeyHandle(const KeyHandle&) = delete;
    KeyHandle& operator=(const KeyHandle&) = delete;
    ~KeyHandle() {
        if (key_ != nullptr) ::RegCloseKey(key_);
    }
    HKEY* out() { return &key_; }
    HKEY get() const { return key_; }

private:
    HKEY key_ = nullptr;
};

std::unexpected<SystemError> failure(LSTATUS status, std::string_view call) {
    return std::unexpected(SystemError{static_cast<std::uint32_t>(status), call});
}

LSTATUS set_value(HKEY key, const RegistryValue& value) {
    const std::wstring name = to_utf16(value.name);
    if (const auto* text = std::get_if<std::string>(&value.data)) {
        const std::wstring wide = to_utf16(*text);
        const auto bytes = static_cast<DWORD>((wide.size() + 1) * sizeof(wchar_t));  // with the terminator
        return ::RegSetValueExW(key, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(wide.c_str()), bytes);
    }
    const DWORD number = std::get<std::uint32_t>(value.data);
    return ::RegSetValueExW(key, name.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number), sizeof number);
}

}  // namespace

std::expected<void, SystemError> write_machine_key(const RegistryKey& key) {
    const std::wstring path = to_utf16(key.path);
    KeyHandle handle;
    const LSTATUS created = ::RegCreateKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                              KEY_SET_VALUE | kView, nullptr, handle.out(), nullptr);
    if (created != ERROR_SUCCESS) return failure(created, "RegCreateKeyExW");
    for (const RegistryValue& value : key.values) {
        const LSTATUS set = set_value(handle.get(), value);
        if (set != ERROR_SUCCESS) return failure(set, "RegSetValueExW");
    }
    return {};
}

std::expected<void, SystemError> delete_machine_key(std::string_view path) {
    const std::wstring wide = to_utf16(path);
    {
        KeyHandle handle;
        const LSTATUS opened =
            ::RegOpenKeyExW(HKEY_LOCAL_MACHINE, wide.c_str(), 0,
                            DELETE | KEY_ENUMERATE_SUB_KEYS | KEY_QUERY_VALUE | KEY_SET_VALUE | kView, handle.out());
        if (opened == ERROR_FILE_NOT_FOUND) return {};
        if (opened != ERROR_SUCCESS) return failure(opened, "RegOpenKeyExW");
        // Empties the key: RegDeleteKeyExW refuses a key that still has subkeys.
        const LSTATUS emptied = ::RegDeleteTreeW(handle.get(), nullptr);
        if (emptied != ERROR_SUCCESS) return failure(emptied, "RegDeleteTreeW");
    }
    const LSTATUS deleted = ::RegDeleteKeyExW(HKEY_LOCAL_MACHINE, wide.c_str(), kView, 0);
    if (deleted != ERROR_SUCCESS && deleted != ERROR_FILE_NOT_FOUND) return failure(deleted, "RegDeleteKeyExW");
    return {};
}

}  // namespace vexo::platform
