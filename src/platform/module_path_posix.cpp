#include "platform/module_path.h"

namespace vexo::platform {

// Only the Windows DLL registers itself, so nothing asks for this here.
std::expected<std::string, SystemError> own_module_path() {
    return std::unexpected(SystemError{kErrorNotSupported, "own_module_path"});
}

}  // namespace vexo::platform
