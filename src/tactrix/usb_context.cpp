#include "tactrix/usb_context.h"

#include <stdexcept>
#include <string>

#include "core/usb_error_kind.h"
#include "tactrix/libusb_binding.h"

namespace vexo::tactrix {

UsbContext create_usb_context(const LibusbApi& api) {
    libusb_context* context = nullptr;
    const int rc = api.init(&context);
    if (rc != 0) {
        throw std::runtime_error("Can't init Global usb context, error " +
                                 std::string(usb_error_kind_name(usb_error_kind_from_code(rc))));
    }
    return UsbContext{&api, context};
}

const std::expected<UsbContext, TransportError>& usb_context() {
    static const std::expected<UsbContext, TransportError> context = []() -> std::expected<UsbContext, TransportError> {
        const auto api = bound_libusb_api();
        if (!api) return std::unexpected(TransportError::io(api.error()));
        return create_usb_context(**api);
    }();
    return context;
}

}  // namespace vexo::tactrix
