#include <dlfcn.h>

#include <cstdlib>

#include "platform/module_lifetime.h"

namespace vexo::platform {

void pin_own_module() {
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&pin_own_module), &info) == 0 || info.dli_fname == nullptr) return;
    // Another reference, and one that makes every dlclose leave the library mapped.
    (void)dlopen(info.dli_fname, RTLD_NOW | RTLD_NOLOAD | RTLD_NODELETE);
}

void at_process_exit(void (*hook)()) { (void)std::atexit(hook); }

}  // namespace vexo::platform
