#include "tactrix/usb_transport.h"

#include <algorithm>
#include <climits>
#include <string>
#include <utility>

#include "core/text_format.h"
#include "core/transport_error.h"

namespace vexo::tactrix {

namespace {

constexpr int kCableConfiguration = 1;
constexpr int kCableInterface = 1;

std::unexpected<TransportError> io_failure(int libusb_result) {
    return std::unexpected(TransportError::io(usb_error_kind_from_code(libusb_result)));
}

constexpr std::uint8_t kTransferTypeMask = 0x03;
constexpr std::uint8_t kTransferTypeBulk = 0x02;
constexpr std::uint8_t kDirectionIn = 0x80;

std::optional<EndpointPair> pair_of(const libusb_interface_descriptor& setting) {
    std::optional<std::uint8_t> in;
    std::optional<std::uint8_t> out;
    for (int e = 0; e < setting.bNumEndpoints; ++e) {
        const libusb_endpoint_descriptor& endpoint = setting.endpoint[e];
        if ((endpoint.bmAttributes & kTransferTypeMask) != kTransferTypeBulk) continue;
        const bool is_in = (endpoint.bEndpointAddress & kDirectionIn) != 0;
        if (is_in && !in) in = endpoint.bEndpointAddress;
        if (!is_in && !out) out = endpoint.bEndpointAddress;
    }
    if (in && out) return EndpointPair{*in, *out};
    return std::nullopt;
}

// libusb waits forever on 0 ms, so a bounded wait shorter than a millisecond becomes 1 ms
// and a wait too long for its 32-bit field is clamped rather than wrapped.
unsigned int libusb_timeout_ms(std::chrono::nanoseconds timeout) {
    const auto whole_ms = std::chrono::duration_cast<std::chrono::milliseconds>(timeout).count();
    if (whole_ms <= 0) return 1;
    return static_cast<unsigned int>(std::min<long long>(whole_ms, UINT_MAX));
}

// `moved_before_failure` learns how much a failed transfer moved all the same.
UsbResult<std::size_t> transfer(UsbTransport& transport, std::uint8_t endpoint, unsigned char* data, std::size_t length,
                                std::chrono::nanoseconds timeout, std::size_t* moved_before_failure = nullptr) {
    if (moved_before_failure != nullptr) *moved_before_failure = 0;
    if (timeout <= std::chrono::nanoseconds::zero()) return std::unexpected(TransportError::timeout());
    const unsigned int timeout_ms = libusb_timeout_ms(timeout);
    const int capped_length = static_cast<int>(std::min<std::size_t>(length, INT_MAX));
    for (;;) {
        int transferred = 0;
        const int rc =
            transport.api().bulk_transfer(transport.handle(), endpoint, data, capped_length, &transferred, timeout_ms);
        // Never trust a count outside the buffer: callers index with it.
        const std::size_t moved = static_cast<std::size_t>(std::clamp(transferred, 0, capped_length));
        if (rc == 0) return moved;
        const bool cut_short = rc == LIBUSB_ERROR_TIMEOUT || rc == LIBUSB_ERROR_INTERRUPTED;
        if (cut_short && moved > 0) return moved;
        if (rc == LIBUSB_ERROR_INTERRUPTED) continue;
        if (moved_before_failure != nullptr) *moved_before_failure = moved;
        if (rc == LIBUSB_ERROR_TIMEOUT) return std::unexpected(TransportError::timeout());
        return std::unexpected(TransportError::io(usb_error_kind_from_code(rc)));
    }
}

// libusb's text without its parenthesised gloss: PassThruGetLastError has 80 characters for all.
std::string brief_reason(int libusb_result) {
    const std::string_view text = usb_error_kind_text(usb_error_kind_from_code(libusb_result));
    return std::string(text.substr(0, text.find(" (")));
}

// Claims the cable's interface on a handle just opened; closes the handle when it cannot.
int claim_cable(const LibusbApi& api, libusb_device_handle* handle) {
    // These fail harmlessly where there is no kernel driver to detach (always on Windows).
    api.set_auto_detach_kernel_driver(handle, 1);
    api.set_configuration(handle, kCableConfiguration);
    api.detach_kernel_driver(handle, 0);
    api.detach_kernel_driver(handle, 1);
    const int rc = api.claim_interface(handle, kCableInterface);
    if (rc != 0) api.close(handle);
    return rc;
}

// The first listed cable that opens and whose interface is free. A cable that is listed but
// cannot be opened (no udev rule for this user, most often) or that another program holds is
// not a missing one, and the user must be told which it is.
UsbResult<libusb_device_handle*> claim_first(const UsbContext& usb, std::uint16_t vendor_id, std::uint16_t product_id) {
    const LibusbApi& api = *usb.api;
    libusb_device** list = nullptr;
    const ssize_t listed = api.get_device_list(usb.context, &list);
    libusb_device_handle* claimed = nullptr;
    int refusal = 0;
    bool in_use = false;
    int failure = 0;
    for (ssize_t i = 0; i < listed && claimed == nullptr && failure == 0; ++i) {
        libusb_device_descriptor descriptor{};
        if (api.get_device_descriptor(list[i], &descriptor) != 0) continue;
        if (descriptor.idVendor != vendor_id || descriptor.idProduct != product_id) continue;
        libusb_device_handle* handle = nullptr;
        if (const int rc = api.open(list[i], &handle); rc != 0) {
            if (refusal == 0) refusal = rc;
            continue;
        }
        const int rc = claim_cable(api, handle);
        if (rc == 0) {
            claimed = handle;
        } else if (rc == LIBUSB_ERROR_BUSY) {
            in_use = true;  // perhaps the next cable is free
        } else {
            failure = rc;
        }
    }
    if (listed >= 0) api.free_device_list(list, 1);
    if (claimed != nullptr) return claimed;
    if (failure != 0) return io_failure(failure);
    if (in_use) return std::unexpected(TransportError::io("Tactrix in use by another program (Resource busy)"));
    if (refusal != 0) {
        return std::unexpected(TransportError::io("Tactrix found but cannot be opened: " + brief_reason(refusal)));
    }
    return std::unexpected(TransportError::io("Tactrix not found (VID=0x" + text::hex(vendor_id, 4) + " PID=0x" +
                                              text::hex(product_id, 4) + ")"));
}

}  // namespace

std::optional<EndpointPair> find_bulk_endpoint_pair(const libusb_config_descriptor& config) {
    for (int i = 0; i < config.bNumInterfaces; ++i) {
        const libusb_interface& iface = config.interface[i];
        if (iface.num_altsetting <= 0) return std::nullopt;
        for (int a = 0; a < iface.num_altsetting; ++a) {
            const libusb_interface_descriptor& setting = iface.altsetting[a];
            if (setting.bAlternateSetting != 0 || setting.bNumEndpoints == 0) continue;
            if (auto pair = pair_of(setting)) return pair;
        }
    }
    return std::nullopt;
}

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
    const auto bound = usb_context();
    if (!bound) return std::unexpected(bound.error());
    const UsbContext& usb = *bound;
    const LibusbApi& api = *usb.api;

    const auto claimed = claim_first(usb, vendor_id, product_id);
    if (!claimed) return std::unexpected(claimed.error());
    libusb_device_handle* const handle = *claimed;
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
    const auto bound = usb_context();
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

UsbResult<std::size_t> bulk_read(UsbTransport& transport, std::span<std::uint8_t> buffer,
                                 std::chrono::nanoseconds timeout) {
    return transfer(transport, transport.in_endpoint(), buffer.data(), buffer.size(), timeout);
}

UsbResult<std::size_t> bulk_write(UsbTransport& transport, std::span<const std::uint8_t> bytes,
                                  std::chrono::nanoseconds timeout, std::size_t* moved_before_failure) {
    // libusb's signature is not const-correct; an OUT transfer only reads the buffer.
    return transfer(transport, transport.out_endpoint(), const_cast<unsigned char*>(bytes.data()), bytes.size(),
                    timeout, moved_before_failure);
}

}  // namespace vexo::tactrix
