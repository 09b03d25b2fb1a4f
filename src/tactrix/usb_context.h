#pragma once

#include <expected>

#include "core/transport_error.h"
#include "tactrix/libusb_api.h"

namespace vexo::tactrix {

// The libusb entry points together with the one context they run on.
struct UsbContext {
    const LibusbApi* api = nullptr;
    libusb_context* context = nullptr;
};

// Creates a context through `api`. Throws std::runtime_error when libusb cannot: that is an
// internal fault, not a transport error.
UsbContext create_usb_context(const LibusbApi& api);

// The process-wide context on the binary's libusb, created by the first caller (even if two
// threads race) and never destroyed. A failed creation throws and is tried again by the next
// caller; a libusb that cannot be found is an Io error, for good.
const std::expected<UsbContext, TransportError>& usb_context();

}  // namespace vexo::tactrix
