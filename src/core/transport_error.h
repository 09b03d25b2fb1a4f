#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <variant>

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

// Failure of the USB and frame layers; travels upward inside PassThruError::Transport.
class TransportError {
public:
    enum class Kind { Io, Disconnected, FrameTooLong, MalformedFrame, Timeout };

    static TransportError io(UsbErrorKind kind) { return TransportError(Kind::Io, kind); }
    static TransportError io(std::string text) { return TransportError(Kind::Io, std::move(text)); }
    static TransportError disconnected() { return TransportError(Kind::Disconnected, {}); }
    static TransportError frame_too_long(std::uint32_t length, std::uint32_t maximum) {
        return TransportError(Kind::FrameTooLong, FrameLength{length, maximum});
    }
    static TransportError malformed_frame() { return TransportError(Kind::MalformedFrame, {}); }
    static TransportError timeout() { return TransportError(Kind::Timeout, {}); }

    Kind kind() const { return kind_; }
    bool is_timeout() const { return kind_ == Kind::Timeout; }
    // The libusb classification of an Io error, when it carries one.
    const UsbErrorKind* usb_kind() const { return std::get_if<UsbErrorKind>(&payload_); }
    std::string message() const;

    friend bool operator==(const TransportError&, const TransportError&) = default;

private:
    struct FrameLength {
        std::uint32_t length;
        std::uint32_t maximum;
        friend bool operator==(const FrameLength&, const FrameLength&) = default;
    };
    using Payload = std::variant<std::monostate, UsbErrorKind, std::string, FrameLength>;

    TransportError(Kind kind, Payload payload) : kind_(kind), payload_(std::move(payload)) {}

    Kind kind_;
    Payload payload_;
};

}  // namespace vexo
