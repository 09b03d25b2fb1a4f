#pragma once

#include <expected>
#include <filesystem>
#include <string>
#include <string_view>

namespace vexo::tools {

// A library loaded for the rest of the process. It is never unloaded: a J2534 library's libusb may
// still run threads of its own when the client ends.
class DynamicLibrary {
public:
    // `share_symbols`: later libraries bind to this one's symbols (RTLD_GLOBAL), as the J2534 library
    // must bind to the simulated libusb. A failure carries the loader's own text.
    static std::expected<DynamicLibrary, std::string> load(const std::filesystem::path& path, bool share_symbols);

    // nullptr when the library has no such symbol.
    void* symbol(const char* name) const;

private:
    explicit DynamicLibrary(void* handle) : handle_(handle) {}
    void* handle_;
};

// The directory holding the running executable; empty when the platform cannot tell.
std::filesystem::path executable_directory();

// ~/.passthru, where Linux J2534 applications find a JSON file per device; or why there is none
// (Windows applications read the registry; HOME is not set).
std::expected<std::filesystem::path, std::string> passthru_directory();

}  // namespace vexo::tools
