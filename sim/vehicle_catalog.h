#pragma once

#include <string_view>

#include "sim/cable_firmware.h"

namespace vexo::sim {

// Puts a vehicle behind the cable by name, for the simulated cable's control surface:
// - "none" (or ""): nothing behind the cable; the cable's own defaults (no filtering,
//   the standard fast-init reply) and no traffic;
// - "demo": install_demo_vehicle;
// - "busload:<fps>": the demo car plus CAN frames on channel 5 (IDs 100..10F) at <fps>
//   frames per second; "busload:max" as fast as the host reads them.
// Returns false and leaves the cable as it was for any other name.
bool install_vehicle(CableFirmware& cable, std::string_view name);

// Whether install_vehicle knows the name.
bool known_vehicle(std::string_view name);

}  // namespace vexo::sim
