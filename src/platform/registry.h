#pragma once

#include <cstdint>
#include <expected>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "platform/system_error.h"

// The machine-wide registry in the view of the applications that can load this build: the
// 32-bit view for the 32-bit DLL, the 64-bit view for the 64-bit one. Texts are UTF-8.
namespace vexo::platform {

// REG_SZ text or REG_DWORD number.
using RegistryData = std::variant<std::string, std::uint32_t>;

struct RegistryValue {
    std::string name;
    RegistryData data;
    bool operator==(const RegistryValue&) const = default;
};

struct RegistryKey {
    std::string path;  // below HKEY_LOCAL_MACHINE, '\' separated
    std::vector<RegistryValue> values;
    bool operator==(const RegistryKey&) const = default;
};

// Creates the key (and missing parents) and sets each value, replacing what is there.
std::expected<void, SystemError> write_machine_key(const RegistryKey& key);
// Removes the key with everything under it; its parent stays. An absent key is not an error.
std::expected<void, SystemError> delete_machine_key(std::string_view path);

}  // namespace vexo::platform
