#include <windows.h>

#include <cstdlib>

#include "test_process.h"

namespace vexo::e2e {

namespace {

std::string system_message(DWORD code) {
    char* text = nullptr;
    const DWORD length =
        FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                       nullptr, code, 0, reinterpret_cast<char*>(&text), 0, nullptr);
    std::string message = length != 0 && text != nullptr ? std::string(text, length) : std::string();
    if (text != nullptr) LocalFree(text);
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r' || message.back() == ' ')) {
        message.pop_back();
    }
    return message.empty() ? "error " + std::to_string(code) : message;
}

std::expected<HMODULE, std::string> load_by_full_path(const std::string& path) {
    // Unix paths from the build reach Wine as drive-relative ones; the full form is what
    // LOAD_WITH_ALTERED_SEARCH_PATH wants.
    const std::filesystem::path full = std::filesystem::absolute(std::filesystem::path(path));
    const HMODULE module = LoadLibraryExW(full.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    if (module == nullptr) return std::unexpected("cannot load " + path + ": " + system_message(GetLastError()));
    return module;
}

}  // namespace

std::expected<void*, std::string> load_passthru_library(const std::string& path) {
    const char* configured = std::getenv("VEXO_E2E_SIM_USB");
    const std::string usb = configured != nullptr && *configured != '\0' ? configured : VEXO_E2E_SIM_USB;
    if (auto stand_in = load_by_full_path(usb); !stand_in) return std::unexpected(stand_in.error());
    auto library = load_by_full_path(path);
    if (!library) return std::unexpected(library.error());
    return reinterpret_cast<void*>(*library);
}

std::expected<void*, std::string> bound_usb_library() {
    // The one module of that name in the process is the one the shipped library binds to.
    const HMODULE usb = GetModuleHandleW(L"libusb-1.0.dll");
    if (usb == nullptr) return std::unexpected("libusb-1.0.dll is not loaded");
    return reinterpret_cast<void*>(usb);
}

void* global_scope() { return nullptr; }

void* library_symbol(void* library, const char* name) {
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(library), name));
}

void set_log_directory(const std::filesystem::path& directory) {
    // The library reads the process environment block, which the C runtime's putenv leaves alone.
    SetEnvironmentVariableW(L"TEMP", directory.c_str());
}

}  // namespace vexo::e2e
