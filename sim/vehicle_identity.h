#pragma once

#include <string_view>

namespace vexo::sim {

// The simulated car's VIN, reported by every ECU that knows it: 17 characters, none of
// the letters I, O or Q that VINs leave out.
inline constexpr std::string_view demo_vin = "1VXDM5SM8N0004217";

}  // namespace vexo::sim
