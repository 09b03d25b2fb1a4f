#include <algorithm>
#include <climits>

#include "core/usb_error_kind.h"
#include "tactrix/usb_transport.h"

namespace vexo::tactrix {

namespace {

// libusb waits forever on 0 ms, so a bounded wait shorter than a millisecond becomes 1 ms
// and a wait too long for its 32-bit field is clamped rather than wrapped.
unsigned int libusb_timeout_ms(std::chrono::nanoseconds timeout) {
    const auto whole_ms = std::chrono::duration_cast<std::chrono::milliseconds>(timeout).count();
    if (whole_ms <= 0) return 1;
    return static_cast<unsigned int>(std::min<long long>(whole_ms, UINT_MAX));
}

UsbResult<std::size_t> transfer(UsbTransport& transport, std::uint8_t endpoint, unsigned char* data, std::size_t length,
                                std::chrono::nanoseconds timeout) {
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
        if (rc == LIBUSB_ERROR_TIMEOUT) return std::unexpected(TransportError::timeout());
        return std::unexpected(TransportError::io(usb_error_kind_from_code(rc)));
    }
}

}  // namespace

UsbResult<std::size_t> bulk_read(UsbTransport& transport, std::span<std::uint8_t> buffer,
                                 std::chrono::nanoseconds timeout) {
    return transfer(transport, transport.in_endpoint(), buffer.data(), buffer.size(), timeout);
}

UsbResult<std::size_t> bulk_write(UsbTransport& transport, std::span<const std::uint8_t> bytes,
                                  std::chrono::nanoseconds timeout) {
    // libusb's signature is not const-correct; an OUT transfer only reads the buffer.
    return transfer(transport, transport.out_endpoint(), const_cast<unsigned char*>(bytes.data()), bytes.size(),
                    timeout);
}

}  // namespace vexo::tactrix
