#pragma once

#include <string>

#include "sim/vexo_sim_api.h"

namespace vexo::e2e {

// The simulated cable's C controls, found in the libusb-1.0 that the shipped library bound to:
// only the stand-in has them.
struct SimControls {
    decltype(&::vexo_sim_reset) reset = nullptr;
    decltype(&::vexo_sim_attach_cables) attach_cables = nullptr;
    decltype(&::vexo_sim_set_vehicle) set_vehicle = nullptr;
    decltype(&::vexo_sim_unplug) unplug = nullptr;
    decltype(&::vexo_sim_written_bytes) written_bytes = nullptr;
    decltype(&::vexo_sim_set_read_chunk) set_read_chunk = nullptr;
    decltype(&::vexo_sim_cable_silence) silence = nullptr;
    decltype(&::vexo_sim_cable_reject) reject = nullptr;
    decltype(&::vexo_sim_cable_inject) inject = nullptr;
    decltype(&::vexo_sim_cable_inject_before_next_reply) inject_before_next_reply = nullptr;
    decltype(&::vexo_sim_cable_set_identity) set_identity = nullptr;
    decltype(&::vexo_sim_cable_set_battery_mv) set_battery_mv = nullptr;
    decltype(&::vexo_sim_cable_set_fast_init_response) set_fast_init_response = nullptr;
    decltype(&::vexo_sim_cable_set_filtering) set_filtering = nullptr;
    decltype(&::vexo_sim_cable_deliver_can) deliver_can = nullptr;
    decltype(&::vexo_sim_cable_deliver_kline) deliver_kline = nullptr;
    decltype(&::vexo_sim_cable_commands) commands = nullptr;
    decltype(&::vexo_sim_fail_next_transfer) fail_next_transfer = nullptr;

    // The cable is the usbfs model behind the system's libusb, not the libusb stand-in.
    bool usbfs = false;
    std::string error;
};

// Resolved once per process, after the shipped library has been loaded.
const SimControls& sim_controls();

}  // namespace vexo::e2e
