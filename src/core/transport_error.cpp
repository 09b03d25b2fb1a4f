#include "core/transport_error.h"

#include "core/text_format.h"

namespace vexo {

std::string TransportError::message() const {
    switch (kind_) {
        case Kind::Io:
            if (const auto* usb = std::get_if<UsbErrorKind>(&payload_)) {
                return "I/O error: " + std::string(usb_error_kind_text(*usb));
            }
            return "I/O error: " + std::get<std::string>(payload_);
        case Kind::Disconnected: return "transport disconnected";
        case Kind::FrameTooLong: {
            const auto& f = std::get<FrameLength>(payload_);
            return "frame length " + text::dec(f.length) + " exceeds maximum " + text::dec(f.maximum);
        }
        case Kind::MalformedFrame: return "malformed frame";
        case Kind::Timeout: break;
    }
    return "operation timed out";
}

}  // namespace vexo
