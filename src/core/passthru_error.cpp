#include "core/passthru_error.h"

#include <algorithm>
#include <string_view>

#include "core/breakable_mutex.h"
#include "core/text_format.h"
#include "vexo/j2534.h"

namespace vexo {

namespace {

// An argument too wide for the device is refused as a value of its kind the device does not know.
struct ArgumentFacts {
    PassThruError::Argument argument;
    std::string_view name;
    std::uint32_t status;
};

constexpr ArgumentFacts kArguments[] = {
    {PassThruError::Argument::DeviceId, "device ID", ERR_INVALID_DEVICE_ID},
    {PassThruError::Argument::ChannelId, "channel ID", ERR_INVALID_CHANNEL_ID},
    {PassThruError::Argument::FilterId, "filter ID", ERR_INVALID_FILTER_ID},
    {PassThruError::Argument::MsgId, "message ID", ERR_INVALID_MSG_ID},
    {PassThruError::Argument::ProtocolId, "protocol ID", ERR_INVALID_PROTOCOL_ID},
    {PassThruError::Argument::IoctlId, "ioctl ID", ERR_INVALID_IOCTL_ID},
    {PassThruError::Argument::FilterType, "filter type", ERR_INVALID_IOCTL_VALUE},
    {PassThruError::Argument::BaudRate, "baud rate", ERR_INVALID_BAUDRATE},
    {PassThruError::Argument::Flags, "flags", ERR_INVALID_FLAGS},
    {PassThruError::Argument::TxFlags, "TxFlags", ERR_INVALID_FLAGS},
    {PassThruError::Argument::TimeInterval, "time interval", ERR_INVALID_TIME_INTERVAL},
    {PassThruError::Argument::PinNumber, "pin number", ERR_PIN_INVALID},
    {PassThruError::Argument::Voltage, "voltage", ERR_EXCEEDED_LIMIT},
};

const ArgumentFacts& facts_of(PassThruError::Argument argument) {
    return *std::ranges::find(kArguments, argument, &ArgumentFacts::argument);
}

}  // namespace

std::uint32_t PassThruError::status() const {
    switch (kind_) {
        case Kind::DeviceNotConnected:
        case Kind::DeviceNotOpen: return ERR_DEVICE_NOT_CONNECTED;
        case Kind::DeviceInUse: return ERR_DEVICE_IN_USE;
        case Kind::InvalidDeviceId: return ERR_INVALID_DEVICE_ID;
        case Kind::InvalidChannelId: return ERR_INVALID_CHANNEL_ID;
        case Kind::NotSupported: return ERR_NOT_SUPPORTED;
        case Kind::NullParameter: return ERR_NULL_PARAMETER;
        case Kind::InvalidProtocolId: return ERR_INVALID_PROTOCOL_ID;
        case Kind::InvalidValue: return ERR_INVALID_IOCTL_VALUE;
        case Kind::InvalidMsg: return ERR_INVALID_MSG;
        case Kind::InvalidFilterId: return ERR_INVALID_FILTER_ID;
        case Kind::ExceededLimit: return ERR_EXCEEDED_LIMIT;
        case Kind::BufferEmpty: return ERR_BUFFER_EMPTY;
        case Kind::BufferFull: return ERR_BUFFER_FULL;
        case Kind::Transport: return is_timeout() ? ERR_TIMEOUT : ERR_DEVICE_NOT_CONNECTED;
        case Kind::TooWide: return facts_of(std::get<TooWidePayload>(payload_).argument).status;
        case Kind::Internal: break;
    }
    return ERR_FAILED;
}

std::string PassThruError::message() const {
    switch (kind_) {
        case Kind::DeviceNotConnected: return "device not connected";
        case Kind::DeviceNotOpen: return "device not open";
        case Kind::DeviceInUse: return "device already open";
        case Kind::InvalidDeviceId: return "invalid device ID";
        case Kind::InvalidChannelId: return "invalid channel ID";
        case Kind::NotSupported: return "operation not supported";
        case Kind::NullParameter: return "null parameter";
        case Kind::InvalidProtocolId: return "invalid protocol ID";
        case Kind::InvalidValue: {
            const auto& p = std::get<InvalidValuePayload>(payload_);
            return "invalid value " + text::hex_wide(p.value) + " for parameter " + text::hex_wide(p.parameter);
        }
        case Kind::InvalidMsg: return std::get<std::string>(payload_);
        case Kind::InvalidFilterId: return "invalid filter ID " + text::dec(std::get<std::uint32_t>(payload_));
        case Kind::ExceededLimit: return "exceeded maximum resource count";
        case Kind::BufferEmpty: return "receive buffer empty";
        case Kind::BufferFull: return "transmit buffer full";
        case Kind::Transport: return "transport error: " + std::get<TransportError>(payload_).message();
        case Kind::TooWide: {
            const auto& p = std::get<TooWidePayload>(payload_);
            // "baud rate 4294967296 does not fit in 32 bits"; flags in hex, as the log lines show them.
            const bool bits = p.argument == Argument::Flags || p.argument == Argument::TxFlags;
            return std::string(facts_of(p.argument).name) + " " +
                   (bits ? text::hex_prefixed(p.value) : text::dec(p.value)) + " does not fit in 32 bits";
        }
        case Kind::Internal: break;
    }
    return "internal error: " + std::get<std::string>(payload_);
}

namespace {

struct LastErrorStore {
    BreakableMutex lock;
    std::string text;
};

LastErrorStore& store_instance() {
    static LastErrorStore instance;
    return instance;
}

}  // namespace

namespace last_error {

void store(std::string text) {
    auto& s = store_instance();
    BreakableGuard guard(s.lock);
    if (guard.broken()) return;
    s.text = std::move(text);
}

std::optional<std::string> copy() {
    auto& s = store_instance();
    BreakableGuard guard(s.lock);
    if (guard.broken()) return std::nullopt;
    return s.text;
}

}  // namespace last_error

std::uint32_t to_status(const PassThruError& error) {
    const std::uint32_t status = error.status();
    last_error::store(error.message());
    return status;
}

}  // namespace vexo
