// Configuration, interfaces and descriptors of the simulated libusb.
#include "sim/sim_bus.h"

using vexo::sim::Bus;
using vexo::sim::bus;
using vexo::sim::OwnedConfig;
using vexo::sim::record_call;
using vexo::sim::SimConfigLayout;

namespace {

std::unique_ptr<OwnedConfig> build_config(const SimConfigLayout& layout) {
    auto owned = std::make_unique<OwnedConfig>();
    const std::size_t interfaces = layout.size();
    owned->interfaces.resize(interfaces);
    owned->settings.resize(interfaces);
    owned->endpoints.resize(interfaces);
    for (std::size_t i = 0; i < interfaces; ++i) {
        const auto& alt_settings = layout[i].alt_settings;
        owned->settings[i].resize(alt_settings.size());
        owned->endpoints[i].resize(alt_settings.size());
        for (std::size_t a = 0; a < alt_settings.size(); ++a) {
            auto& endpoints = owned->endpoints[i][a];
            for (const auto& source : alt_settings[a].endpoints) {
                libusb_endpoint_descriptor e{};
                e.bLength = LIBUSB_DT_ENDPOINT_SIZE;
                e.bDescriptorType = LIBUSB_DT_ENDPOINT;
                e.bEndpointAddress = source.address;
                e.bmAttributes = source.attributes;
                e.wMaxPacketSize = 64;
                endpoints.push_back(e);
            }
            libusb_interface_descriptor& s = owned->settings[i][a];
            s.bLength = LIBUSB_DT_INTERFACE_SIZE;
            s.bDescriptorType = LIBUSB_DT_INTERFACE;
            s.bInterfaceNumber = static_cast<std::uint8_t>(i);
            s.bAlternateSetting = alt_settings[a].alternate_setting;
            s.bNumEndpoints = static_cast<std::uint8_t>(endpoints.size());
            s.bInterfaceClass = LIBUSB_CLASS_VENDOR_SPEC;
            s.endpoint = endpoints.empty() ? nullptr : endpoints.data();
        }
        owned->interfaces[i].altsetting = owned->settings[i].empty() ? nullptr : owned->settings[i].data();
        owned->interfaces[i].num_altsetting = static_cast<int>(owned->settings[i].size());
    }
    libusb_config_descriptor& c = owned->config;
    c.bLength = LIBUSB_DT_CONFIG_SIZE;
    c.bDescriptorType = LIBUSB_DT_CONFIG;
    c.bNumInterfaces = static_cast<std::uint8_t>(interfaces);
    c.bConfigurationValue = 1;
    c.bmAttributes = 0x80;
    c.MaxPower = 250;
    c.interface = owned->interfaces.empty() ? nullptr : owned->interfaces.data();
    return owned;
}

bool has_interface(const libusb_device_handle* handle, int number) {
    return number >= 0 && static_cast<std::size_t>(number) < handle->device->sim->layout.size();
}

}  // namespace

extern "C" {

int LIBUSB_CALL libusb_set_auto_detach_kernel_driver(libusb_device_handle*, int enable) {
    Bus& state = bus();
    std::lock_guard lock(state.mutex);
    record_call(state, vexo::sim::call_text("libusb_set_auto_detach_kernel_driver", {std::to_string(enable)}));
    if (const auto due = vexo::sim::take_due_fault(state)) return due->code;
    return LIBUSB_SUCCESS;
}

int LIBUSB_CALL libusb_set_configuration(libusb_device_handle* handle, int configuration) {
    Bus& state = bus();
    std::lock_guard lock(state.mutex);
    record_call(state, vexo::sim::call_text("libusb_set_configuration", {std::to_string(configuration)}));
    if (const auto due = vexo::sim::take_due_fault(state)) return due->code;
    if (handle->device->sim->unplugged) return LIBUSB_ERROR_NO_DEVICE;
    if (configuration != 1 && configuration != -1) return LIBUSB_ERROR_NOT_FOUND;
    if (!handle->claimed.empty()) return LIBUSB_ERROR_BUSY;
    return LIBUSB_SUCCESS;
}

int LIBUSB_CALL libusb_detach_kernel_driver(libusb_device_handle* handle, int number) {
    Bus& state = bus();
    std::lock_guard lock(state.mutex);
    record_call(state, vexo::sim::call_text("libusb_detach_kernel_driver", {std::to_string(number)}));
    if (const auto due = vexo::sim::take_due_fault(state)) return due->code;
    // No kernel driver is ever bound to a simulated device.
    return has_interface(handle, number) ? LIBUSB_ERROR_NOT_FOUND : LIBUSB_ERROR_INVALID_PARAM;
}

int LIBUSB_CALL libusb_claim_interface(libusb_device_handle* handle, int number) {
    Bus& state = bus();
    std::lock_guard lock(state.mutex);
    record_call(state, vexo::sim::call_text("libusb_claim_interface", {std::to_string(number)}));
    if (const auto due = vexo::sim::take_due_fault(state)) return due->code;
    if (state.claim_fault != 0) return state.claim_fault;
    auto& sim = *handle->device->sim;
    if (sim.unplugged) return LIBUSB_ERROR_NO_DEVICE;
    if (!has_interface(handle, number)) return LIBUSB_ERROR_NOT_FOUND;
    const auto owner = sim.claims.find(number);
    if (owner != sim.claims.end() && owner->second != handle) return LIBUSB_ERROR_BUSY;
    sim.claims[number] = handle;
    handle->claimed.insert(number);
    return LIBUSB_SUCCESS;
}

int LIBUSB_CALL libusb_release_interface(libusb_device_handle* handle, int number) {
    Bus& state = bus();
    std::lock_guard lock(state.mutex);
    record_call(state, vexo::sim::call_text("libusb_release_interface", {std::to_string(number)}));
    if (const auto due = vexo::sim::take_due_fault(state)) return due->code;
    if (state.release_fault != 0) return state.release_fault;
    if (handle->claimed.erase(number) == 0) return LIBUSB_ERROR_NOT_FOUND;
    handle->device->sim->claims.erase(number);
    return LIBUSB_SUCCESS;
}

int LIBUSB_CALL libusb_set_interface_alt_setting(libusb_device_handle* handle, int number, int alternate) {
    Bus& state = bus();
    std::lock_guard lock(state.mutex);
    record_call(state, vexo::sim::call_text("libusb_set_interface_alt_setting",
                                            {std::to_string(number), std::to_string(alternate)}));
    if (const auto due = vexo::sim::take_due_fault(state)) return due->code;
    if (handle->device->sim->unplugged) return LIBUSB_ERROR_NO_DEVICE;
    if (handle->claimed.count(number) == 0) return LIBUSB_ERROR_NOT_FOUND;
    for (const auto& setting : handle->device->sim->layout[static_cast<std::size_t>(number)].alt_settings) {
        if (setting.alternate_setting == alternate) return LIBUSB_SUCCESS;
    }
    return LIBUSB_ERROR_NOT_FOUND;
}

int LIBUSB_CALL libusb_get_active_config_descriptor(libusb_device* device, libusb_config_descriptor** config) {
    Bus& state = bus();
    std::lock_guard lock(state.mutex);
    record_call(state, "libusb_get_active_config_descriptor");
    if (const auto due = vexo::sim::take_due_fault(state)) return due->code;
    if (state.config_descriptor_fault != 0) return state.config_descriptor_fault;
    if (device->sim->unplugged) return LIBUSB_ERROR_NO_DEVICE;
    auto owned = build_config(device->sim->layout);
    *config = &owned->config;
    state.configs.emplace(*config, std::move(owned));
    return LIBUSB_SUCCESS;
}

void LIBUSB_CALL libusb_free_config_descriptor(libusb_config_descriptor* config) {
    Bus& state = bus();
    std::lock_guard lock(state.mutex);
    record_call(state, "libusb_free_config_descriptor");
    state.configs.erase(config);
}

}  // extern "C"
