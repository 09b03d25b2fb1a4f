#include "platform/registry.h"

namespace vexo::platform {

std::expected<void, SystemError> write_machine_key(const RegistryKey&) {
    return std::unexpected(SystemError{kErrorNotSupported, "write_machine_key"});
}

std::expected<void, SystemError> delete_machine_key(std::string_view) {
    return std::unexpected(SystemError{kErrorNotSupported, "delete_machine_key"});
}

}  // namespace vexo::platform
