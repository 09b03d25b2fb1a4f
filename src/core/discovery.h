#pragma once

#include <string_view>

// What this library announces to the applications that look for J2534 libraries, whatever the
// platform's way: the Windows registry key, or the JSON file in ~/.passthru that Linux
// applications read. Beside these, each names the protocols of core/protocols.h.
namespace vexo {

inline constexpr std::string_view kDiscoveryName = "Tactrix Openport 2.0 (vexo)";
inline constexpr std::string_view kDiscoveryVendor = "vexo";

}  // namespace vexo
