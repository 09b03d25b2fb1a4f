#include <windows.h>

#include <vector>

#include "dynamic_library.h"
#include "library_location.h"

namespace vexo::tools {

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

}  // namespace

std::expected<DynamicLibrary, std::string> DynamicLibrary::load(const std::filesystem::path& path, bool) {
    // A module loaded first is reused for every later import of the same name, so a simulated
    // libusb-1.0.dll serves the J2534 DLL without any flag. With a full path, the DLL's own folder is
    // searched for its dependencies, as vendor DLLs installed elsewhere expect.
    const HMODULE module = path.is_absolute() ? LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH)
                                              : LoadLibraryW(path.c_str());
    if (module == nullptr) return std::unexpected(path_text(path) + ": " + system_message(GetLastError()));
    return DynamicLibrary(reinterpret_cast<void*>(module));
}

void* DynamicLibrary::symbol(const char* name) const {
    return reinterpret_cast<void*>(GetProcAddress(reinterpret_cast<HMODULE>(handle_), name));
}

std::filesystem::path executable_directory() {
    std::vector<wchar_t> buffer(MAX_PATH);
    for (;;) {
        const DWORD length = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length == 0) return {};
        if (length < buffer.size()) return std::filesystem::path(std::wstring(buffer.data(), length)).parent_path();
        buffer.resize(buffer.size() * 2);
    }
}

std::expected<std::filesystem::path, std::string> passthru_directory() {
    return std::unexpected("Windows applications find J2534 libraries in the registry: regsvr32 " +
                           std::string(kJ2534LibraryFileName) + " registers it");
}

}  // namespace vexo::tools
