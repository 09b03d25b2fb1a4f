#include "core/text_format.h"
#include "tactrix/frame_receiver.h"
#include "tactrix/reply_wait.h"
#include "tactrix/tactrix_device.h"
#include "tactrix/wire.h"
#include "vexo/j2534.h"

namespace vexo::tactrix {

namespace {

constexpr std::uint32_t kBatteryPin = 16;

std::string pair_text(const ConfigPair& pair) {
    return "param=" + text::hex_prefixed(pair.parameter) + " value=" + text::dec(pair.value);
}

// Why forwarding one parameter failed: the write, or the cable's answer to it.
struct ForwardFailure {
    bool write_failed;
    PassThruError error;
};

std::optional<ForwardFailure> forward_parameter(TactrixDevice& device, const TactrixChannel& channel,
                                                const ConfigPair& pair) {
    if (auto sent = device.send(wire::set_parameter(channel.cable_channel, pair.parameter, pair.value)); !sent) {
        return ForwardFailure{true, sent.error()};
    }
    if (auto acked = await_ack(device); !acked) return ForwardFailure{false, acked.error()};
    return std::nullopt;
}

Result<IoctlOutput> set_config(TactrixDevice& device, TactrixChannel& channel, const IoctlInput* input) {
    const auto* pairs = input == nullptr ? nullptr : std::get_if<ConfigList>(input);
    if (pairs == nullptr) return fail(PassThruError::null_parameter());
    // The cable refusing a parameter is not an error: applications set parameters it does not
    // know. A cable that cannot be written to is.
    std::optional<PassThruError> write_error;
    for (const ConfigPair& pair : *pairs) {
        auto failure = forward_parameter(device, channel, pair);
        if (!failure) continue;
        if (failure->write_failed) {
            device.last_detail = "ats forward for " + pair_text(pair) + " failed: " + failure->error.message();
            if (!write_error) write_error = failure->error;
        } else {
            device.last_detail = "ats ack for " + pair_text(pair) + ": " + failure->error.message();
        }
    }
    auto& stored = device.find_channel(channel.protocol_id)->config_params;
    for (const ConfigPair& pair : *pairs) stored.insert_or_assign(pair.parameter, pair.value);
    if (write_error) return fail(*write_error);
    return IoctlNothing{};
}

Result<IoctlOutput> read_battery(TactrixDevice& device) {
    if (auto sent = device.send(wire::read_analog(kBatteryPin)); !sent) return fail(sent.error());
    auto millivolts =
        await_reply(device, "Tactrix rejected atr", [](const RxFrame& frame) -> std::optional<std::uint32_t> {
            const auto* reading = frame.as<RxFrame::AnalogReading>();
            if (reading != nullptr && reading->pin == kBatteryPin) return reading->mV;
            return std::nullopt;
        });
    if (!millivolts) return fail(millivolts.error());
    return *millivolts;
}

void reapply_parameters(TactrixDevice& device, const TactrixChannel& channel) {
    // A copy: the waits below may not touch the channel table, but the loop must not depend on it.
    const auto params = channel.config_params;
    for (const auto& [parameter, value] : params) {
        const ConfigPair pair{parameter, value};
        auto failure = forward_parameter(device, channel, pair);
        if (failure && failure->write_failed) {
            device.last_detail = "ats re-apply for " + pair_text(pair) + " failed: " + failure->error.message();
        }
    }
}

Result<IoctlOutput> fast_init(TactrixDevice& device, const TactrixChannel& channel, const IoctlInput* input) {
    reapply_parameters(device, channel);
    Bytes request;
    if (input != nullptr) {
        const auto* bytes = std::get_if<Bytes>(input);
        if (bytes == nullptr) return fail(PassThruError::null_parameter());
        request = *bytes;
    }
    if (auto sent = device.send(wire::fast_init(channel.cable_channel, request)); !sent) return fail(sent.error());
    auto length =
        await_reply(device, "Tactrix rejected fast init", [](const RxFrame& frame) -> std::optional<std::uint32_t> {
            if (const auto* ack = frame.as<RxFrame::FastInitAck>()) return ack->len;
            return std::nullopt;
        });
    if (!length) return fail(length.error());
    if (*length == 0) return Bytes{};
    auto response = read_exact(device, *length);
    if (!response) return fail(response.error());
    return std::move(*response);
}

}  // namespace

Result<IoctlOutput> TactrixDevice::ioctl(std::uint32_t channel_id, std::uint32_t ioctl_id, const IoctlInput* input) {
    switch (ioctl_id) {
        case SET_CONFIG:
        case FAST_INIT: {
            TactrixChannel* channel = find_channel(channel_id);
            if (channel == nullptr) return fail(PassThruError::invalid_channel_id());
            return ioctl_id == SET_CONFIG ? set_config(*this, *channel, input) : fast_init(*this, *channel, input);
        }
        case READ_VBATT: return read_battery(*this);
        case FIVE_BAUD_INIT:
            last_detail = "FIVE_BAUD_INIT is not implemented for Tactrix";
            return fail(PassThruError::not_supported());
        default: return fail(PassThruError::not_supported());
    }
}

}  // namespace vexo::tactrix
