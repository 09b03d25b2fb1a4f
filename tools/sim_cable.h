#pragma once

#include "command_line.h"
#include "tool_error.h"

namespace vexo::tools {

// Loads the simulated cable's libusb stand-in, sharing its symbols, so that the J2534 library loaded
// after it binds to the stand-in instead of the machine's libusb; then plugs in the cables asked for (one by default)
// and picks the vehicle through the stand-in's C control functions. Functions the stand-in lacks are skipped.
VoidResult attach_simulated_cable(const Options& options);

}  // namespace vexo::tools
