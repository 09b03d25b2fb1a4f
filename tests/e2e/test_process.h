#pragma once

#include <expected>
#include <filesystem>
#include <string>

// What the suite needs of the operating system, one file per platform: loading libraries as an
// application does, and steering the directory of the library's log.
namespace vexo::e2e {

// Loads the shipped library from `path` the way applications do on this platform. Windows first
// loads the simulated libusb-1.0.dll by its full path, which the library then binds by name;
// elsewhere the library's own dependency is resolved through LD_LIBRARY_PATH.
std::expected<void*, std::string> load_passthru_library(const std::string& path);

// The libusb the shipped library bound to, when it is loaded in this process; otherwise why not.
std::expected<void*, std::string> bound_usb_library();

// What library_symbol searches for the symbols of every library loaded globally, preloaded ones
// included (the usbfs model of the cable); nullptr where there is no such search.
void* global_scope();

// nullptr when the library has no such symbol.
void* library_symbol(void* library, const char* name);

// Where the library's log file goes from its next line on: TEMP as the library reads it.
void set_log_directory(const std::filesystem::path& directory);

}  // namespace vexo::e2e
