#pragma once

#include <string>
#include <string_view>

#include "command_line.h"
#include "tool_error.h"

// The simulated cable: the vehicles its stand-in knows, and how vexo attaches it.
namespace vexo::tools {

struct SimVehicle {
    std::string_view name;  // as vexo_sim_set_vehicle takes it
    std::string_view what;
};
inline constexpr SimVehicle kSimVehicles[] = {
    {"demo", "the default: 500 kbit/s, 11-bit IDs"},
    {"demo-250k", "the same car at 250 kbit/s"},
    {"demo-29bit", "on 29-bit IDs"},
    {"demo-250k-29bit", "at 250 kbit/s on 29-bit IDs"},
    {"none", "a cable on an empty bus"},
    {"busload:N", "demo plus N CAN frames a second"},
};

// Loads the simulated cable's libusb stand-in, sharing its symbols, so that the J2534 library loaded
// after it binds to the stand-in instead of the machine's libusb; then plugs in the cables asked for
// (one by default) and picks the vehicle through the stand-in's C control functions. A library without
// those controls is not the stand-in: the real libusb a release ships is refused, never driven.
VoidResult attach_simulated_cable(const Options& options);

}  // namespace vexo::tools
