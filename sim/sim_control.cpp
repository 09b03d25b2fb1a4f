#include "sim/sim_control.h"

#include <atomic>
#include <charconv>
#include <cstdio>
#include <cstdlib>

#include "sim/cable_firmware.h"
#include "sim/sim_bus.h"
#include "sim/sim_scripted_link.h"
#include "sim/vehicle_catalog.h"

namespace vexo::sim {

namespace layouts {

SimConfigLayout standard() {
    return {SimInterface{{SimAltSetting{0, {}}}}, SimInterface{{SimAltSetting{0, {{0x81, kBulk}, {0x02, kBulk}}}}}};
}

SimConfigLayout interrupt_only_interface0() {
    return {SimInterface{{SimAltSetting{0, {{0x83, kInterrupt}, {0x04, kInterrupt}}}}},
            SimInterface{{SimAltSetting{0, {{0x81, kBulk}, {0x02, kBulk}}}}}};
}

SimConfigLayout two_bulk_ins() {
    return {SimInterface{{SimAltSetting{0, {}}}},
            SimInterface{{SimAltSetting{0, {{0x81, kBulk}, {0x83, kBulk}, {0x02, kBulk}}}}}};
}

SimConfigLayout in_and_out_on_different_interfaces() {
    return {SimInterface{{SimAltSetting{0, {{0x81, kBulk}}}}}, SimInterface{{SimAltSetting{0, {{0x02, kBulk}}}}}};
}

SimConfigLayout no_bulk_pair() {
    return {SimInterface{{SimAltSetting{0, {{0x83, kInterrupt}}}}},
            SimInterface{{SimAltSetting{0, {{0x81, kInterrupt}, {0x02, kInterrupt}}}}}};
}

}  // namespace layouts

namespace {

unsigned attach(std::uint16_t vendor_id, std::uint16_t product_id, std::shared_ptr<CableLink> link) {
    Bus& state = bus();
    std::lock_guard lock(state.mutex);
    auto device = std::make_shared<SimDevice>();
    device->vendor_id = vendor_id;
    device->product_id = product_id;
    device->address = state.next_address++;
    device->layout = layouts::standard();
    device->link = std::move(link);
    state.devices.push_back(std::move(device));
    return static_cast<unsigned>(state.devices.size() - 1);
}

std::function<void()>& devices_observer() {
    static auto* const observer = new std::function<void()>;
    return *observer;
}

void devices_changed() {
    if (devices_observer()) devices_observer()();
}

template <class Change>
void change_device(unsigned device, Change change) {
    Bus& state = bus();
    std::lock_guard lock(state.mutex);
    if (device < state.devices.size()) change(*state.devices[device]);
}

template <class Read>
auto read_bus(Read read) {
    Bus& state = bus();
    std::lock_guard lock(state.mutex);
    return read(state);
}

template <class Change>
void change_bus(Change change) {
    Bus& state = bus();
    std::lock_guard lock(state.mutex);
    change(state);
}

}  // namespace

// Set by the first control call, or by the environment's turn: whichever comes first decides.
std::atomic<bool> controlled{false};

void reset() {
    controlled = true;
    change_bus([](Bus& state) {
        state.devices.clear();
        state.next_address = 2;
        state.read_chunk = 0;
        state.write_limit.reset();
        state.transfer_faults.clear();
        state.call_fault.reset();
        state.due_fault.reset();
        state.init_fault = 0;
        state.device_list_fault = 0;
        state.claim_fault = 0;
        state.release_fault = 0;
        state.config_descriptor_fault = 0;
        state.open_fault = false;
        state.calls.clear();
        state.written.clear();
        state.vehicle.clear();
    });
    devices_changed();
}

unsigned attach_cables(unsigned count) {
    controlled = true;
    Bus& state = bus();
    unsigned first = 0;
    std::string name;
    {
        std::lock_guard lock(state.mutex);
        first = static_cast<unsigned>(state.devices.size());
        name = state.vehicle;
    }
    for (unsigned i = 0; i < count; ++i) {
        auto cable = std::make_shared<CableFirmware>();
        install_vehicle(*cable, name);
        attach(kCableVendorId, kCableProductId, std::move(cable));
    }
    devices_changed();
    return first;
}

unsigned attach_device(std::uint16_t vendor_id, std::uint16_t product_id) {
    const unsigned index = attach(vendor_id, product_id, std::make_shared<ScriptedLink>());
    devices_changed();
    return index;
}

std::size_t attached_devices() {
    return read_bus([](const Bus& state) { return state.devices.size(); });
}

void install_link(unsigned device, std::shared_ptr<CableLink> link) {
    change_device(device, [&](SimDevice& d) { d.link = std::move(link); });
}

std::shared_ptr<CableLink> link_of(unsigned device) {
    return read_bus(
        [device](const Bus& state) { return device < state.devices.size() ? state.devices[device]->link : nullptr; });
}

void set_layout(unsigned device, SimConfigLayout layout) {
    change_device(device, [&](SimDevice& d) { d.layout = std::move(layout); });
}

void unplug(unsigned device) {
    change_device(device, [](SimDevice& d) { d.unplugged = true; });
    devices_changed();
}

void observe_devices(std::function<void()> observer) { devices_observer() = std::move(observer); }

void set_read_chunk(std::size_t n) {
    change_bus([n](Bus& state) { state.read_chunk = n; });
}

void set_write_limit(std::optional<std::size_t> n) {
    change_bus([n](Bus& state) { state.write_limit = n; });
}

void fail_next_transfer(int code, std::size_t after_bytes) {
    change_bus([=](Bus& state) { state.transfer_faults.push_back({code, after_bytes}); });
}

void fail_call(std::size_t calls_before, int code, std::size_t after_bytes) {
    change_bus([=](Bus& state) { state.call_fault = CallFault{calls_before, {code, after_bytes}}; });
}

void unplug_at_call(std::size_t calls_before) {
    change_bus([=](Bus& state) { state.call_fault = CallFault{calls_before, {0, 0}}; });
}

void clear_call_fault() {
    change_bus([](Bus& state) {
        state.call_fault.reset();
        state.due_fault.reset();
    });
}

void fail_init(int code) {
    change_bus([code](Bus& state) { state.init_fault = code; });
}

void fail_device_list(int code) {
    change_bus([code](Bus& state) { state.device_list_fault = code; });
}

void fail_device_descriptor(unsigned device, int code) {
    change_device(device, [code](SimDevice& d) { d.descriptor_fault = code; });
}

void fail_claim_interface(int code) {
    change_bus([code](Bus& state) { state.claim_fault = code; });
}

void fail_release_interface(int code) {
    change_bus([code](Bus& state) { state.release_fault = code; });
}

void fail_config_descriptor(int code) {
    change_bus([code](Bus& state) { state.config_descriptor_fault = code; });
}

void fail_open(bool fail) {
    change_bus([fail](Bus& state) { state.open_fault = fail; });
}

std::vector<std::uint8_t> written_bytes() {
    return read_bus([](const Bus& state) { return state.written; });
}

std::vector<std::string> calls() {
    return read_bus([](const Bus& state) { return state.calls; });
}

void clear_calls() {
    change_bus([](Bus& state) { state.calls.clear(); });
}

std::size_t live_contexts() {
    return read_bus([](const Bus& state) { return state.live_contexts; });
}

std::size_t live_handles() {
    return read_bus([](const Bus& state) { return state.live_handles; });
}

std::size_t live_config_descriptors() {
    return read_bus([](const Bus& state) { return state.configs.size(); });
}

std::size_t live_devices() {
    return read_bus([](const Bus& state) { return state.live_devices; });
}

bool set_vehicle(std::string name) {
    controlled = true;
    if (!known_vehicle(name)) return false;
    // Installed outside the bus lock: replacing a vehicle joins its traffic thread.
    std::vector<std::shared_ptr<CableFirmware>> cables;
    change_bus([&](Bus& state) {
        state.vehicle = name;
        for (const auto& device : state.devices)
            if (auto cable = std::dynamic_pointer_cast<CableFirmware>(device->link)) cables.push_back(std::move(cable));
    });
    for (const auto& cable : cables) install_vehicle(*cable, name);
    return true;
}

std::string vehicle() {
    return read_bus([](const Bus& state) { return state.vehicle; });
}

void apply_environment_unless_controlled() {
    if (controlled.exchange(true)) return;
    const char* cables = std::getenv("VEXO_SIM_CABLES");
    const char* vehicle = std::getenv("VEXO_SIM_VEHICLE");
    if (cables == nullptr && vehicle == nullptr) return;
    // Nobody here can be told but the user running the program: stderr.
    unsigned count = 1;
    if (cables != nullptr) {
        const std::string_view text(cables);
        const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), count);
        if (error != std::errc{} || end != text.data() + text.size() || count > 8) {
            std::fprintf(stderr, "libusb stand-in: VEXO_SIM_CABLES takes 0 to 8, not '%s'\n", cables);
            return;
        }
    }
    const std::string name = vehicle != nullptr ? vehicle : "demo";
    if (!set_vehicle(name)) {
        std::fprintf(stderr, "libusb stand-in: unknown VEXO_SIM_VEHICLE '%s' (known: %.*s)\n", name.c_str(),
                     static_cast<int>(vehicle_names.size()), vehicle_names.data());
        return;
    }
    attach_cables(count);
}

}  // namespace vexo::sim
