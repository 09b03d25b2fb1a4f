#pragma once

#include <expected>
#include <string>

#include "platform/system_error.h"

namespace vexo::platform {

// Full path (UTF-8) of the module holding this code: the DLL when linked into it.
std::expected<std::string, SystemError> own_module_path();

}  // namespace vexo::platform
