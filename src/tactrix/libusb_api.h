#pragma once

#include <libusb.h>

#include <cstdint>
#include <expected>
#include <string>

#include "core/transport_error.h"

namespace vexo::tactrix {

// Every libusb entry point the driver uses. Nothing else names a libusb function, so the
// Windows DLL can fill this from the libusb-1.0.dll it loads instead of linking it.
struct LibusbApi {
    int(LIBUSB_CALL* init)(libusb_context** context);
    ssize_t(LIBUSB_CALL* get_device_list)(libusb_context* context, libusb_device*** list);
    void(LIBUSB_CALL* free_device_list)(libusb_device** list, int unref_devices);
    int(LIBUSB_CALL* get_device_descriptor)(libusb_device* device, libusb_device_descriptor* descriptor);
    int(LIBUSB_CALL* open)(libusb_device* device, libusb_device_handle** handle);
    void(LIBUSB_CALL* close)(libusb_device_handle* handle);
    libusb_device*(LIBUSB_CALL* get_device)(libusb_device_handle* handle);
    int(LIBUSB_CALL* set_auto_detach_kernel_driver)(libusb_device_handle* handle, int enable);
    int(LIBUSB_CALL* set_configuration)(libusb_device_handle* handle, int configuration);
    int(LIBUSB_CALL* detach_kernel_driver)(libusb_device_handle* handle, int interface_number);
    int(LIBUSB_CALL* claim_interface)(libusb_device_handle* handle, int interface_number);
    int(LIBUSB_CALL* release_interface)(libusb_device_handle* handle, int interface_number);
    int(LIBUSB_CALL* set_interface_alt_setting)(libusb_device_handle* handle, int interface_number,
                                                int alternate_setting);
    int(LIBUSB_CALL* get_active_config_descriptor)(libusb_device* device, libusb_config_descriptor** config);
    void(LIBUSB_CALL* free_config_descriptor)(libusb_config_descriptor* config);
    int(LIBUSB_CALL* bulk_transfer)(libusb_device_handle* handle, unsigned char endpoint, unsigned char* data,
                                    int length, int* transferred, unsigned int timeout_ms);
};

// The table bound to the libusb this binary links (the real one or the simulated cable).
// Defined only in binaries that link libusb.
const LibusbApi& linked_libusb_api();

// Loads the libusb shared library `file_name` beside this binary or through the system
// search, and fills the table from it. The error text says what is missing and where it
// was looked for.
std::expected<LibusbApi, std::string> load_libusb_api(const std::string& file_name);

// The libusb this binary talks to. Each final binary links exactly one definition (see
// binding/): the libusb it was linked against, or the Windows DLL's libusb-1.0.dll, loaded
// at run time so that the DLL itself loads where libusb is missing. Called once, while the
// process context is made; the error text is for the user.
std::expected<const LibusbApi*, std::string> bound_libusb_api();

// The libusb entry points together with the one context they run on.
struct UsbContext {
    const LibusbApi* api = nullptr;
    libusb_context* context = nullptr;
};

// Creates a context through `api`. A libusb that cannot is a transport failure like any
// other: the cable is out of reach for now, not the library broken.
std::expected<UsbContext, TransportError> create_usb_context(const LibusbApi& api);

// The process-wide context on the binary's libusb, created by the first caller that succeeds
// (even if two threads race) and never destroyed. A failed creation is not kept: the next
// caller tries again. A libusb that cannot be found stays an Io error.
std::expected<UsbContext, TransportError> usb_context();

}  // namespace vexo::tactrix
