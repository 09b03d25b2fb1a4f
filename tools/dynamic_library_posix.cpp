#include <dlfcn.h>

#include <cstdlib>
#include <system_error>

#include "dynamic_library.h"
#include "library_location.h"

namespace vexo::tools {

std::expected<DynamicLibrary, std::string> DynamicLibrary::load(const std::filesystem::path& path, bool share_symbols) {
    void* handle = dlopen(path.c_str(), RTLD_NOW | (share_symbols ? RTLD_GLOBAL : RTLD_LOCAL));
    if (handle == nullptr) {
        const char* text = dlerror();
        return std::unexpected(text != nullptr ? std::string(text) : "cannot load " + path_text(path));
    }
    return DynamicLibrary(handle);
}

void* DynamicLibrary::symbol(const char* name) const { return dlsym(handle_, name); }

std::filesystem::path executable_directory() {
    std::error_code error;
    const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", error);
    return error ? std::filesystem::path() : exe.parent_path();
}

std::expected<std::filesystem::path, std::string> passthru_directory() {
    const char* home = std::getenv("HOME");
    if (home == nullptr || *home == '\0') return std::unexpected("HOME is not set: there is no ~/.passthru");
    return std::filesystem::path(home) / ".passthru";
}

}  // namespace vexo::tools
