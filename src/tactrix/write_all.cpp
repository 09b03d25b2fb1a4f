#include "tactrix/write_all.h"

#include "core/diagnostic_log.h"

namespace vexo::tactrix {

VoidResult write_all(UsbTransport* transport, std::span<const std::uint8_t> bytes, std::chrono::nanoseconds timeout) {
    log_hex_dump("tactrix TX wire", bytes);
    if (transport == nullptr) return fail(PassThruError::device_not_open());
    std::size_t sent = 0;
    while (sent < bytes.size()) {
        const auto accepted = bulk_write(*transport, bytes.subspan(sent), timeout);
        if (!accepted) return fail(PassThruError::transport(accepted.error()));
        if (*accepted == 0) {
            return fail(PassThruError::transport(TransportError::io("Tactrix bulk write returned 0 bytes")));
        }
        sent += *accepted;
    }
    return {};
}

}  // namespace vexo::tactrix
