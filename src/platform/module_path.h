#pragma once

#include <expected>
#include <string>

#include "platform/system_error.h"

// The module holding this code (the DLL or shared library when linked into one): where it
// is, and the libraries it loads from beside itself.
namespace vexo::platform {

// Full path (UTF-8) of the module holding this code: the DLL when linked into it.
std::expected<std::string, SystemError> own_module_path();

// A library loaded for the rest of the process: functions bound from it must stay valid, so
// it is never unloaded. `handle` is null when no copy was found; `searched` then says where
// the lookup went, for the user's error text.
struct SharedLibraryLoad {
    void* handle = nullptr;
    std::string searched;
};

// Looks for `file_name` in the directory of the module holding this code, by full path, and
// then through the system's own library search (which also yields a copy already loaded).
// Never from the current directory: an application's working folder is not ours to trust.
SharedLibraryLoad load_library_beside_self(const std::string& file_name);

// Null when the library has no such symbol.
void* library_symbol(void* handle, const char* name);

}  // namespace vexo::platform
