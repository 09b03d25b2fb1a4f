#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <expected>
#include <optional>
#include <span>

#include "core/transport_error.h"
#include "tactrix/libusb_api.h"

namespace vexo::tactrix {

inline constexpr std::uint16_t kTactrixVendorId = 0x0403;
inline constexpr std::uint16_t kTactrixProductId = 0xCC4D;

struct EndpointPair {
    std::uint8_t in_endpoint = 0;   // bit 7 set
    std::uint8_t out_endpoint = 0;  // bit 7 clear
    friend bool operator==(const EndpointPair&, const EndpointPair&) = default;
};

// The first bulk IN/OUT pair that one alternate setting 0 holds by itself, in descriptor
// order. Candidates never carry over between settings; an interface without alternate
// settings ends the search.
std::optional<EndpointPair> find_bulk_endpoint_pair(const libusb_config_descriptor& config);

template <class T>
using UsbResult = std::expected<T, TransportError>;

// An opened cable with interface 1 claimed and its bulk endpoint pair chosen. Owns the
// libusb handle: destroying or moving over it closes the cable as close_usb does.
class UsbTransport {
public:
    UsbTransport(UsbTransport&& other) noexcept;
    UsbTransport& operator=(UsbTransport&& other) noexcept;
    UsbTransport(const UsbTransport&) = delete;
    UsbTransport& operator=(const UsbTransport&) = delete;
    ~UsbTransport();

    std::uint8_t in_endpoint() const { return in_endpoint_; }
    std::uint8_t out_endpoint() const { return out_endpoint_; }
    const LibusbApi& api() const { return *api_; }
    libusb_device_handle* handle() const { return handle_; }

private:
    friend UsbResult<UsbTransport> open_usb(std::uint16_t vendor_id, std::uint16_t product_id);
    friend void close_usb(UsbTransport transport);

    // Takes over a handle on which `claimed_interface` has just been claimed.
    UsbTransport(const LibusbApi& api, libusb_device_handle* handle, int claimed_interface);
    void close();

    const LibusbApi* api_ = nullptr;
    libusb_device_handle* handle_ = nullptr;
    std::uint32_t claimed_interfaces_ = 0;  // bit n: interface n
    std::uint8_t in_endpoint_ = 0;
    std::uint8_t out_endpoint_ = 0;
};

// Opens the first attached cable libusb enumerates, claims interface 1 and finds the bulk
// pair. Every failure after the open leaves the cable closed again.
UsbResult<UsbTransport> open_usb(std::uint16_t vendor_id, std::uint16_t product_id);

// Releases interface 1 and closes the handle.
void close_usb(UsbTransport transport);

// Attached devices with this identity; nothing is opened. 0 when libusb cannot list them.
unsigned count_devices(std::uint16_t vendor_id, std::uint16_t product_id);

// One bulk transfer, bounded by `timeout`. A partial transfer that timed out is a success;
// a timeout with nothing moved is TransportError::timeout(). A timeout of zero or less
// fails without touching the bus.
UsbResult<std::size_t> bulk_read(UsbTransport& transport, std::span<std::uint8_t> buffer,
                                 std::chrono::nanoseconds timeout);
// A write that fails may still have moved some bytes; `moved_before_failure`, when given,
// learns how many, as the cable has taken them.
UsbResult<std::size_t> bulk_write(UsbTransport& transport, std::span<const std::uint8_t> bytes,
                                  std::chrono::nanoseconds timeout, std::size_t* moved_before_failure = nullptr);

}  // namespace vexo::tactrix
