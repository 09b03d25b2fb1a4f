#pragma once

#include <string_view>

#include "command_line.h"
#include "tool_error.h"

namespace vexo::tools {

// What the stand-in's vexo_sim_set_vehicle accepts, for the user who named something else.
inline constexpr std::string_view kSimVehicleNames = "demo, demo-250k, demo-29bit, demo-250k-29bit, none, busload:N";

// Loads the simulated cable's libusb stand-in, sharing its symbols, so that the J2534 library loaded
// after it binds to the stand-in instead of the machine's libusb; then plugs in the cables asked for (one by default)
// and picks the vehicle through the stand-in's C control functions. Functions the stand-in lacks are skipped.
VoidResult attach_simulated_cable(const Options& options);

}  // namespace vexo::tools
