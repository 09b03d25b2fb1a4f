#include <windows.h>

#include "platform/module_lifetime.h"

namespace vexo::platform {

namespace {
// Any address inside this module identifies it.
const char kAnchor = 0;
}  // namespace

void pin_own_module() {
    HMODULE module = nullptr;
    (void)::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_PIN,
                               reinterpret_cast<LPCWSTR>(&kAnchor), &module);
}

void at_process_exit(void (*)()) {}

}  // namespace vexo::platform
