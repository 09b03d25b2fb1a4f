// Enumeration, device references and opening of the simulated libusb.
#include "core/text_format.h"
#include "sim/sim_bus.h"

using vexo::sim::Bus;
using vexo::sim::bus;
using vexo::sim::record_call;
using vexo::sim::SimDevice;

namespace {

// The caller holds the bus lock.
libusb_device* new_device(Bus& state, std::shared_ptr<SimDevice> sim) {
    ++state.live_devices;
    return new libusb_device{std::move(sim), 1};
}

void unref_locked(Bus& state, libusb_device* device) {
    if (device == nullptr) return;
    if (--device->references == 0) {
        --state.live_devices;
        delete device;
    }
}

libusb_device_handle* new_handle(Bus& state, libusb_device* device) {
    ++state.live_handles;
    return new libusb_device_handle{device, {}};
}

libusb_device_descriptor descriptor_of(const SimDevice& sim) {
    libusb_device_descriptor d{};
    d.bLength = LIBUSB_DT_DEVICE_SIZE;
    d.bDescriptorType = LIBUSB_DT_DEVICE;
    d.bcdUSB = 0x0200;
    d.bMaxPacketSize0 = 64;
    d.idVendor = sim.vendor_id;
    d.idProduct = sim.product_id;
    d.bcdDevice = 0x0100;
    d.iManufacturer = 1;
    d.iProduct = 2;
    d.iSerialNumber = 3;
    d.bNumConfigurations = 1;
    return d;
}

}  // namespace

extern "C" {

ssize_t LIBUSB_CALL libusb_get_device_list(libusb_context*, libusb_device*** list) {
    Bus& state = bus();
    std::lock_guard lock(state.mutex);
    record_call(state, "libusb_get_device_list");
    if (const auto due = vexo::sim::take_due_fault(state)) return due->code;
    if (state.device_list_fault != 0) return state.device_list_fault;
    const std::size_t n = state.devices.size();
    auto** devices = new libusb_device*[n + 1];
    for (std::size_t i = 0; i < n; ++i) devices[i] = new_device(state, state.devices[i]);
    devices[n] = nullptr;
    *list = devices;
    return static_cast<ssize_t>(n);
}

void LIBUSB_CALL libusb_free_device_list(libusb_device** list, int unref_devices) {
    Bus& state = bus();
    std::lock_guard lock(state.mutex);
    record_call(state, vexo::sim::call_text("libusb_free_device_list", {std::to_string(unref_devices)}));
    if (list == nullptr) return;
    if (unref_devices != 0) {
        for (libusb_device** d = list; *d != nullptr; ++d) unref_locked(state, *d);
    }
    delete[] list;
}

libusb_device* LIBUSB_CALL libusb_ref_device(libusb_device* device) {
    Bus& state = bus();
    std::lock_guard lock(state.mutex);
    record_call(state, "libusb_ref_device");
    ++device->references;
    return device;
}

void LIBUSB_CALL libusb_unref_device(libusb_device* device) {
    Bus& state = bus();
    std::lock_guard lock(state.mutex);
    record_call(state, "libusb_unref_device");
    unref_locked(state, device);
}

int LIBUSB_CALL libusb_get_device_descriptor(libusb_device* device, libusb_device_descriptor* descriptor) {
    Bus& state = bus();
    std::lock_guard lock(state.mutex);
    record_call(state, "libusb_get_device_descriptor");
    if (const auto due = vexo::sim::take_due_fault(state)) return due->code;
    if (device->sim->descriptor_fault != 0) return device->sim->descriptor_fault;
    *descriptor = descriptor_of(*device->sim);
    return LIBUSB_SUCCESS;
}

uint8_t LIBUSB_CALL libusb_get_bus_number(libusb_device* device) {
    Bus& state = bus();
    std::lock_guard lock(state.mutex);
    record_call(state, "libusb_get_bus_number");
    return device->sim->bus_number;
}

uint8_t LIBUSB_CALL libusb_get_device_address(libusb_device* device) {
    Bus& state = bus();
    std::lock_guard lock(state.mutex);
    record_call(state, "libusb_get_device_address");
    return device->sim->address;
}

int LIBUSB_CALL libusb_open(libusb_device* device, libusb_device_handle** handle) {
    Bus& state = bus();
    std::lock_guard lock(state.mutex);
    record_call(state, "libusb_open");
    if (const auto due = vexo::sim::take_due_fault(state)) return due->code;
    if (state.open_fault) return LIBUSB_ERROR_ACCESS;
    if (device->sim->unplugged) return LIBUSB_ERROR_NO_DEVICE;
    ++device->references;
    *handle = new_handle(state, device);
    return LIBUSB_SUCCESS;
}

libusb_device_handle* LIBUSB_CALL libusb_open_device_with_vid_pid(libusb_context*, uint16_t vendor_id,
                                                                  uint16_t product_id) {
    Bus& state = bus();
    std::lock_guard lock(state.mutex);
    record_call(
        state, vexo::sim::call_text("libusb_open_device_with_vid_pid",
                                    {vexo::text::hex_prefixed(vendor_id, 4), vexo::text::hex_prefixed(product_id, 4)}));
    if (vexo::sim::take_due_fault(state)) return nullptr;
    if (state.open_fault) return nullptr;
    for (const auto& sim : state.devices) {
        // As libusb does: devices whose descriptor cannot be read are passed over.
        if (sim->descriptor_fault != 0 || sim->unplugged) continue;
        if (sim->vendor_id == vendor_id && sim->product_id == product_id) {
            return new_handle(state, new_device(state, sim));
        }
    }
    return nullptr;
}

void LIBUSB_CALL libusb_close(libusb_device_handle* handle) {
    Bus& state = bus();
    std::lock_guard lock(state.mutex);
    record_call(state, "libusb_close");
    if (handle == nullptr) return;
    // Closing gives up whatever the handle still holds, as the kernel does.
    for (int number : handle->claimed) handle->device->sim->claims.erase(number);
    unref_locked(state, handle->device);
    --state.live_handles;
    delete handle;
}

libusb_device* LIBUSB_CALL libusb_get_device(libusb_device_handle* handle) {
    Bus& state = bus();
    std::lock_guard lock(state.mutex);
    record_call(state, "libusb_get_device");
    return handle->device;
}

}  // extern "C"
