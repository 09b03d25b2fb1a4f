#pragma once

#include <cstdint>
#include <string>

namespace vexo::tools {

// The standard's name of a J2534 status code ("ERR_TIMEOUT"); unknown codes read "status 0x2A".
std::string status_name(std::uint32_t status);

}  // namespace vexo::tools
