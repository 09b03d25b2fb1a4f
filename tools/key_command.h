#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "tool_error.h"

namespace vexo::tools {

// --key-cmd: runs `command` through the shell with the seed on its input as one line of hexadecimal
// ("1234"), and takes the key from its output (hexadecimal bytes, blanks allowed). The algorithm stays
// the user's: vexo never knows it.
Result<std::vector<std::uint8_t>> key_from_command(const std::string& command, std::span<const std::uint8_t> seed);

}  // namespace vexo::tools
