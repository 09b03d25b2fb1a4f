#include "core/transport_error.h"

#include "core/text_format.h"

namespace vexo {

UsbErrorKind usb_error_kind_from_code(int code) {
    switch (code) {
        case -1: return UsbErrorKind::Io;
        case -2: return UsbErrorKind::InvalidParam;
        case -3: return UsbErrorKind::Access;
        case -4: return UsbErrorKind::NoDevice;
        case -5: return UsbErrorKind::NotFound;
        case -6: return UsbErrorKind::Busy;
        case -7: return UsbErrorKind::Timeout;
        case -8: return UsbErrorKind::Overflow;
        case -9: return UsbErrorKind::Pipe;
        case -10: return UsbErrorKind::Interrupted;
        case -11: return UsbErrorKind::NoMem;
        case -12: return UsbErrorKind::NotSupported;
        default: return UsbErrorKind::Other;
    }
}

std::string_view usb_error_kind_text(UsbErrorKind kind) {
    switch (kind) {
        case UsbErrorKind::Io: return "Input/Output Error";
        case UsbErrorKind::InvalidParam: return "Invalid parameter";
        case UsbErrorKind::Access: return "Access denied (insufficient permissions)";
        case UsbErrorKind::NoDevice: return "No such device (it may have been disconnected)";
        case UsbErrorKind::NotFound: return "Entity not found";
        case UsbErrorKind::Busy: return "Resource busy";
        case UsbErrorKind::Timeout: return "Operation timed out";
        case UsbErrorKind::Overflow: return "Overflow";
        case UsbErrorKind::Pipe: return "Pipe error";
        case UsbErrorKind::Interrupted: return "System call interrupted (perhaps due to signal)";
        case UsbErrorKind::NoMem: return "Insufficient memory";
        case UsbErrorKind::NotSupported: return "Operation not supported or unimplemented on this platform";
        case UsbErrorKind::BadDescriptor: return "Malformed descriptor";
        case UsbErrorKind::Other: break;
    }
    return "Other error";
}

std::string_view usb_error_kind_name(UsbErrorKind kind) {
    switch (kind) {
        case UsbErrorKind::Io: return "Io";
        case UsbErrorKind::InvalidParam: return "InvalidParam";
        case UsbErrorKind::Access: return "Access";
        case UsbErrorKind::NoDevice: return "NoDevice";
        case UsbErrorKind::NotFound: return "NotFound";
        case UsbErrorKind::Busy: return "Busy";
        case UsbErrorKind::Timeout: return "Timeout";
        case UsbErrorKind::Overflow: return "Overflow";
        case UsbErrorKind::Pipe: return "Pipe";
        case UsbErrorKind::Interrupted: return "Interrupted";
        case UsbErrorKind::NoMem: return "NoMem";
        case UsbErrorKind::NotSupported: return "NotSupported";
        case UsbErrorKind::BadDescriptor: return "BadDescriptor";
        case UsbErrorKind::Other: break;
    }
    return "Other";
}

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
