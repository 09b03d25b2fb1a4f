#include "tactrix/usb_transport.h"

#include <charconv>
#include <string>
#include <utility>

#include "core/usb_error_kind.h"
#include "tactrix/endpoint_walk.h"
#include "tactrix/usb_context.h"

namespace vexo::tactrix {

namespace {

constexpr int kCableConfiguration = 1;
constexpr int kCableInterface = 1;

// "0x" and four lower-case digits, as the not-found text shows USB IDs.
std::string usb_id_text(std::uint16_t id) {
    char digits[8];
    const auto end = std::to_chars(digits, digits + sizeof digits, id, 16).ptr;
    const std::string text(digits, end);
    return "0x" + std::string(4 - text.size(), '0') + text;
}

std::unexpected<TransportError> io_failure(int libusb_result) {
    return std::unexpected(TransportError::io(usb_error_kind_from_code(libusb_result)));
}

}  // namespace

UsbTransport::UsbTransport(const LibusbApi& api, libusb_device_handle* handle, int claimed_interface)
    : api_(&api), handle_(handle), claimed_interfaces_(1u << claimed_interface) {}

UsbTransport::UsbTransport(UsbTransport&& other) noexcept
    : api_(other.api_),
      handle_(std::exchange(other.handle_, nullptr)),
      claimed_interfaces_(std::exchange(other.claimed_interfaces_, 0)),
      in_endpoint_(other.in_endpoint_),
      out_endpoint_(other.out_endpoint_) {}

UsbTransport& UsbTransport::operator=(UsbTransport&& other) noexcept {
    if (this != &other) {
        close();
        api_ = other.api_;
        handle_ = std::exchange(other.handle_, nullptr);
        claimed_interfaces_ = std::exchange(other.claimed_interfaces_, 0);
        in_endpoint_ = other.in_endpoint_;
        out_endpoint_ = other.out_endpoint_;
    }
    return *this;
}

UsbTransport::~UsbTransport() { close(); }

void UsbTransport::close() {
    if (handle_ == nullptr) return;
    if (api_->release_interface(handle_, kCableInterface) == 0) {
        claimed_interfaces_ &= ~(1u << kCableInterface);
    }
    // Whatever the first release left claimed gets one more try before the handle goes.
    for (int number = 0; number < 32; ++number) {
        if ((claimed_interfaces_ & (1u << number)) != 0) api_->release_interface(handle_, number);
    }
    claimed_interfaces_ = 0;
    api_->close(std::exchange(handle_, nullptr));
}

UsbResult<UsbTransport> open_usb(std::uint16_t vendor_id, std::uint16_t product_id) {
    const auto& bound = usb_context();
    if (!bound) return std::unexpected(bound.error());
    const UsbContext& usb = *bound;
    const LibusbApi& api = *usb.api;

    libusb_device_handle* handle = api.open_device_with_vid_pid(usb.context, vendor_id, product_id);
    if (handle == nullptr) {
        return std::unexpected(TransportError::io("Tactrix not found (VID=" + usb_id_text(vendor_id) +
                                                  " PID=" + usb_id_text(product_id) + ")"));
    }
    // These fail harmlessly where there is no kernel driver to detach (always on Windows).
    api.set_auto_detach_kernel_driver(handle, 1);
    api.set_configuration(handle, kCableConfiguration);
    api.detach_kernel_driver(handle, 0);
    api.detach_kernel_driver(handle, 1);

    if (const int rc = api.claim_interface(handle, kCableInterface); rc != 0) {
        api.close(handle);
        return io_failure(rc);
    }
    // From here on the transport owns the handle, so every early return closes the cable.
    UsbTransport transport(api, handle, kCableInterface);
    api.set_interface_alt_setting(handle, kCableInterface, 0);

    libusb_config_descriptor* config = nullptr;
    if (const int rc = api.get_active_config_descriptor(api.get_device(handle), &config); rc != 0) {
        return io_failure(rc);
    }
    const std::optional<EndpointPair> pair = find_bulk_endpoint_pair(*config);
    api.free_config_descriptor(config);
    if (!pair) return std::unexpected(TransportError::io("Tactrix: no bulk IN/OUT endpoint pair on any interface"));

    transport.in_endpoint_ = pair->in_endpoint;
    transport.out_endpoint_ = pair->out_endpoint;
    return transport;
}

void close_usb(UsbTransport transport) { transport.close(); }

unsigned count_devices(std::uint16_t vendor_id, std::uint16_t product_id) {
    const auto& bound = usb_context();
    if (!bound) return 0;
    const UsbContext& usb = *bound;
    const LibusbApi& api = *usb.api;

    libusb_device** list = nullptr;
    const ssize_t listed = api.get_device_list(usb.context, &list);
    if (listed < 0) return 0;
    unsigned count = 0;
    for (ssize_t i = 0; i < listed; ++i) {
        libusb_device_descriptor descriptor{};
        if (api.get_device_descriptor(list[i], &descriptor) != 0) continue;
        if (descriptor.idVendor == vendor_id && descriptor.idProduct == product_id) ++count;
    }
    api.free_device_list(list, 1);
    return count;
}

}  // namespace vexo::tactrix
