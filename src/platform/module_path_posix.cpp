#include <dlfcn.h>

#include "platform/module_path.h"

namespace vexo::platform {

namespace {

// Directory of the shared object (or executable) this code was linked into, with its slash.
std::string own_directory() {
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&own_directory), &info) == 0 || info.dli_fname == nullptr) return {};
    const std::string path = info.dli_fname;
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

}  // namespace

SharedLibraryLoad load_library_beside_self(const std::string& file_name) {
    const std::string dir = own_directory();
    if (!dir.empty()) {
        if (void* handle = dlopen((dir + file_name).c_str(), RTLD_NOW | RTLD_LOCAL)) return {handle, {}};
    }
    if (void* handle = dlopen(file_name.c_str(), RTLD_NOW | RTLD_LOCAL)) return {handle, {}};
    return {nullptr, (dir.empty() ? std::string() : dir + " and ") + "the system folders"};
}

void* library_symbol(void* handle, const char* name) { return dlsym(handle, name); }

// Only the Windows DLL registers itself, so nothing asks for this here.
std::expected<std::string, SystemError> own_module_path() {
    return std::unexpected(SystemError{kErrorNotSupported, "own_module_path"});
}

}  // namespace vexo::platform
