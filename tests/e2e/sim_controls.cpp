#include "sim_controls.h"

#include "passthru_library.h"
#include "test_process.h"

namespace vexo::e2e {

namespace {

template <class F>
void resolve(void* usb, const char* name, F& into, std::string& error) {
    into = reinterpret_cast<F>(library_symbol(usb, name));
    if (into == nullptr && error.empty()) {
        error = std::string("the libusb the library bound to lacks ") + name + ": it must be the simulated cable";
    }
}

SimControls load() {
    SimControls sim;
    if (!passthru_library().error.empty()) {
        sim.error = passthru_library().error;
        return sim;
    }
    const auto bound = bound_usb_library();
    if (!bound) {
        sim.error = bound.error();
        return sim;
    }
    void* usb = *bound;
    // Behind the system's libusb the cable is the usbfs model, preloaded into this process.
    if (library_symbol(usb, "vexo_sim_reset") == nullptr && global_scope() != usb &&
        library_symbol(global_scope(), "vexo_usbfs_bind_driver") != nullptr) {
        usb = global_scope();
        sim.usbfs = true;
    }
    resolve(usb, "vexo_sim_reset", sim.reset, sim.error);
    resolve(usb, "vexo_sim_attach_cables", sim.attach_cables, sim.error);
    resolve(usb, "vexo_sim_set_vehicle", sim.set_vehicle, sim.error);
    resolve(usb, "vexo_sim_unplug", sim.unplug, sim.error);
    resolve(usb, "vexo_sim_written_bytes", sim.written_bytes, sim.error);
    resolve(usb, "vexo_sim_set_read_chunk", sim.set_read_chunk, sim.error);
    resolve(usb, "vexo_sim_cable_silence", sim.silence, sim.error);
    resolve(usb, "vexo_sim_cable_reject", sim.reject, sim.error);
    resolve(usb, "vexo_sim_cable_inject", sim.inject, sim.error);
    resolve(usb, "vexo_sim_cable_inject_before_next_reply", sim.inject_before_next_reply, sim.error);
    resolve(usb, "vexo_sim_cable_set_identity", sim.set_identity, sim.error);
    resolve(usb, "vexo_sim_cable_set_battery_mv", sim.set_battery_mv, sim.error);
    resolve(usb, "vexo_sim_cable_set_fast_init_response", sim.set_fast_init_response, sim.error);
    resolve(usb, "vexo_sim_cable_set_filtering", sim.set_filtering, sim.error);
    resolve(usb, "vexo_sim_cable_deliver_can", sim.deliver_can, sim.error);
    resolve(usb, "vexo_sim_cable_deliver_kline", sim.deliver_kline, sim.error);
    resolve(usb, "vexo_sim_cable_commands", sim.commands, sim.error);
    resolve(usb, "vexo_sim_fail_next_transfer", sim.fail_next_transfer, sim.error);
    return sim;
}

}  // namespace

const SimControls& sim_controls() {
    static const SimControls* const sim = new SimControls(load());
    return *sim;
}

}  // namespace vexo::e2e
