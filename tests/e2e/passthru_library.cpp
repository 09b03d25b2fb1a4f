#include "passthru_library.h"

#include <cstdlib>

#include "test_process.h"

namespace vexo::e2e {

namespace {

template <class F>
void resolve(void* library, const char* name, F& into, std::string& error) {
    into = reinterpret_cast<F>(library_symbol(library, name));
    if (into == nullptr && error.empty()) error = std::string("the library does not export ") + name;
}

PassThruLibrary load() {
    PassThruLibrary lib{};
    const char* configured = std::getenv("VEXO_E2E_LIBRARY");
    const char* path = configured != nullptr && *configured != '\0' ? configured : VEXO_E2E_LIBRARY;
    const auto loaded = load_passthru_library(path);
    if (!loaded) {
        lib.error = loaded.error();
        return lib;
    }
    void* handle = *loaded;
#define VEXO_E2E_RESOLVE(name, parameters) resolve(handle, #name, lib.name, lib.error);
    VEXO_J2534_FUNCTIONS(VEXO_E2E_RESOLVE)
#undef VEXO_E2E_RESOLVE
    return lib;
}

}  // namespace

const PassThruLibrary& passthru_library() {
    // Never unloaded: an application keeps the library for its whole life, and so do the tests.
    static const PassThruLibrary* const lib = new PassThruLibrary(load());
    return *lib;
}

}  // namespace vexo::e2e
