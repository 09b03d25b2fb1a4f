#pragma once

#include <cstdint>

namespace vexo::api {

// What GET_CONFIG reports for a parameter ID: fixed defaults for IDs 1 to 21, 0 for any other.
std::uint32_t config_default(std::uint32_t parameter);

}  // namespace vexo::api
