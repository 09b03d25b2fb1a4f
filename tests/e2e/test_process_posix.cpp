#include <dlfcn.h>

#include <cstdlib>

#include "test_process.h"

namespace vexo::e2e {

std::expected<void*, std::string> load_passthru_library(const std::string& path) {
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) return std::unexpected("cannot load " + path + ": " + dlerror());
    return handle;
}

std::expected<void*, std::string> bound_usb_library() {
    // Already loaded as the shipped library's dependency; NOLOAD makes sure it is that one.
    void* usb = dlopen("libusb-1.0.so.0", RTLD_NOW | RTLD_NOLOAD);
    if (usb == nullptr) return std::unexpected("the shipped library did not bring libusb-1.0.so.0 in");
    return usb;
}

void* global_scope() { return RTLD_DEFAULT; }

void* library_symbol(void* library, const char* name) { return dlsym(library, name); }

void set_log_directory(const std::filesystem::path& directory) { ::setenv("TEMP", directory.c_str(), 1); }

}  // namespace vexo::e2e
