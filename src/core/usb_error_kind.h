#pragma once

#include <string_view>

namespace vexo {

// Classification of a failed libusb call; the text is what users see inside an I/O error.
enum class UsbErrorKind {
    Io,
    InvalidParam,
    Access,
    NoDevice,
    NotFound,
    Busy,
    Timeout,
    Overflow,
    Pipe,
    Interrupted,
    NoMem,
    NotSupported,
    BadDescriptor,
    Other,
};

// Maps a negative libusb result code; anything unknown is Other.
UsbErrorKind usb_error_kind_from_code(int code);
std::string_view usb_error_kind_text(UsbErrorKind kind);
std::string_view usb_error_kind_name(UsbErrorKind kind);

}  // namespace vexo
