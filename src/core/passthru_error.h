#pragma once

#include <cstdint>
#include <exception>
#include <expected>
#include <optional>
#include <string>
#include <type_traits>
#include <variant>

#include "core/transport_error.h"

namespace vexo {

// The error of every device operation: a J2534 status and a text for PassThruGetLastError.
class PassThruError {
public:
    enum class Kind {
        DeviceNotConnected,
        DeviceNotOpen,
        DeviceInUse,
        InvalidDeviceId,
        InvalidChannelId,
        NotSupported,
        NullParameter,
        InvalidProtocolId,
        InvalidValue,
        InvalidMsg,
        InvalidFilterId,
        ExceededLimit,
        BufferEmpty,
        BufferFull,
        Transport,
        Internal,
        TooWide,
    };

    // Wider than 32 bits when the caller's unsigned long has 64 (SET_CONFIG takes any value).
    struct InvalidValuePayload {
        std::uint64_t parameter;
        std::uint64_t value;
        friend bool operator==(const InvalidValuePayload&, const InvalidValuePayload&) = default;
    };

    // The arguments a caller with a 64-bit unsigned long may pass wider than the device's 32 bits.
    enum class Argument {
        DeviceId,
        ChannelId,
        FilterId,
        MsgId,
        ProtocolId,
        IoctlId,
        FilterType,
        BaudRate,
        Flags,
        TxFlags,
        TimeInterval,
        PinNumber,
        Voltage,
    };
    struct TooWidePayload {
        Argument argument;
        std::uint64_t value;
        friend bool operator==(const TooWidePayload&, const TooWidePayload&) = default;
    };

    // The variants without payload; those with one have their own makers below.
    static PassThruError device_not_connected() { return PassThruError(Kind::DeviceNotConnected); }
    static PassThruError device_not_open() { return PassThruError(Kind::DeviceNotOpen); }
    static PassThruError device_in_use() { return PassThruError(Kind::DeviceInUse); }
    static PassThruError invalid_device_id() { return PassThruError(Kind::InvalidDeviceId); }
    static PassThruError invalid_channel_id() { return PassThruError(Kind::InvalidChannelId); }
    static PassThruError not_supported() { return PassThruError(Kind::NotSupported); }
    static PassThruError null_parameter() { return PassThruError(Kind::NullParameter); }
    static PassThruError invalid_protocol_id() { return PassThruError(Kind::InvalidProtocolId); }
    static PassThruError exceeded_limit() { return PassThruError(Kind::ExceededLimit); }
    static PassThruError buffer_empty() { return PassThruError(Kind::BufferEmpty); }
    static PassThruError buffer_full() { return PassThruError(Kind::BufferFull); }
    static PassThruError invalid_value(std::uint64_t parameter, std::uint64_t value) {
        return PassThruError(Kind::InvalidValue, InvalidValuePayload{parameter, value});
    }
    // A message the protocol cannot carry; the text names the rule it breaks.
    static PassThruError invalid_msg(std::string rule) { return PassThruError(Kind::InvalidMsg, std::move(rule)); }
    static PassThruError invalid_filter_id(std::uint32_t filter_id) {
        return PassThruError(Kind::InvalidFilterId, filter_id);
    }
    static PassThruError too_wide(Argument argument, std::uint64_t value) {
        return PassThruError(Kind::TooWide, TooWidePayload{argument, value});
    }
    static PassThruError transport(TransportError error) { return PassThruError(Kind::Transport, std::move(error)); }
    static PassThruError timeout() { return transport(TransportError::timeout()); }
    static PassThruError internal(std::string text) { return PassThruError(Kind::Internal, std::move(text)); }

    Kind kind() const { return kind_; }
    const TransportError* transport_error() const { return std::get_if<TransportError>(&payload_); }
    const std::string* internal_text() const {
        return kind_ == Kind::Internal ? std::get_if<std::string>(&payload_) : nullptr;
    }
    const InvalidValuePayload* invalid_value_payload() const { return std::get_if<InvalidValuePayload>(&payload_); }
    bool is_timeout() const { return transport_error() != nullptr && transport_error()->is_timeout(); }

    // The J2534 status code of this error.
    std::uint32_t status() const;
    // The text the log lines end with and LastError stores.
    std::string message() const;

    friend bool operator==(const PassThruError&, const PassThruError&) = default;

private:
    using Payload =
        std::variant<std::monostate, InvalidValuePayload, TransportError, std::string, std::uint32_t, TooWidePayload>;

    explicit PassThruError(Kind kind, Payload payload = {}) : kind_(kind), payload_(std::move(payload)) {}

    Kind kind_;
    Payload payload_;
};

template <class T>
using Result = std::expected<T, PassThruError>;
using VoidResult = std::expected<void, PassThruError>;

inline std::unexpected<PassThruError> fail(PassThruError error) { return std::unexpected(std::move(error)); }

// The one place a fault is caught. Runs body; whatever it throws becomes on_fault's answer,
// given the exception, or null for one that is no std::exception. Every exported function
// and the trace run inside it: no exception may cross the exported boundary.
template <class Body, class OnFault>
auto contain_faults(Body&& body, OnFault&& on_fault) -> std::invoke_result_t<Body&> {
    try {
        return body();
    } catch (const std::exception& fault) {
        return on_fault(&fault);
    } catch (...) {
        return on_fault(nullptr);
    }
}

// The process-wide text of the most recent failure, read by PassThruGetLastError.
namespace last_error {

// Replaces the text; does nothing when the lock is broken.
void store(std::string text);
// A copy of the text, or nothing when the lock is broken.
std::optional<std::string> copy();

}  // namespace last_error

// The one conversion of an error into a status: stores the error's text in LastError.
std::uint32_t to_status(const PassThruError& error);

}  // namespace vexo
