#pragma once

#include <string_view>

namespace vexo::tools {

// The record layouts of include/vexo/j2534.h a J2534 library may have been built for: the
// standard's unsigned long as this platform has it (64 bits on 64-bit Linux), or fixed 32-bit
// fields. A library file cannot tell which it has, so the client is told.
enum class Abi { Platform, Fixed32 };

// As --abi names them.
constexpr std::string_view abi_name(Abi abi) { return abi == Abi::Fixed32 ? "fixed32" : "platform"; }

}  // namespace vexo::tools
