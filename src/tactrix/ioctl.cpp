#include "core/text_format.h"
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

    // The cable refusing or not answering in time is its answer; a cable that cannot be
    // written to or read from is a failure of the call.
    bool fails_call() const { return write_failed || (error.transport_error() != nullptr && !error.is_timeout()); }
};

std::optional<ForwardFailure> forward_parameter(CableSession& cable, const TactrixChannel& channel,
                                                const ConfigPair& pair) {
    if (auto sent = cable.send(wire::set_parameter(channel.protocol.cable_channel, pair.parameter, pair.value));
        !sent) {
        return ForwardFailure{true, sent.error()};
    }
    if (auto acked = cable.await_ack(); !acked) return ForwardFailure{false, acked.error()};
    return std::nullopt;
}

Result<IoctlOutput> set_config(CableSession& cable, TactrixChannel& channel, ConfigStore& store,
                               std::uint32_t channel_id, const IoctlInput* input) {
    const auto* pairs = input == nullptr ? nullptr : std::get_if<ConfigList>(input);
    if (pairs == nullptr) return fail(PassThruError::null_parameter());
    // The cable refusing a parameter is not an error: applications set parameters it does not
    // know. A cable that cannot be written to or read from is.
    std::optional<PassThruError> transport_error;
    for (const ConfigPair& pair : *pairs) {
        auto failure = forward_parameter(cable, channel, pair);
        if (!failure) {
            store.acknowledged(channel_id, pair);
            continue;
        }
        if (failure->write_failed) {
            cable.note("ats forward for " + pair_text(pair) + " failed: " + failure->error.message());
        } else {
            cable.note("ats ack for " + pair_text(pair) + ": " + failure->error.message());
        }
        if (failure->fails_call() && !transport_error) transport_error = failure->error;
    }
    for (const ConfigPair& pair : *pairs) channel.config_params.insert_or_assign(pair.parameter, pair.value);
    if (transport_error) return fail(*transport_error);
    return IoctlNothing{};
}

Result<IoctlOutput> read_battery(CableSession& cable) {
    if (auto sent = cable.send(wire::read_analog(kBatteryPin)); !sent) return fail(sent.error());
    auto millivolts =
        cable.await_reply("Tactrix rejected atr", [](const RxFrame& frame) -> std::optional<std::uint32_t> {
            const auto* reading = frame.as<RxFrame::AnalogReading>();
            if (reading != nullptr && reading->pin == kBatteryPin) return reading->mV;
            return std::nullopt;
        });
    if (!millivolts) return fail(millivolts.error());
    return *millivolts;
}

void reapply_parameters(CableSession& cable, const TactrixChannel& channel) {
    for (const auto& [parameter, value] : channel.config_params) {
        const ConfigPair pair{parameter, value};
        auto failure = forward_parameter(cable, channel, pair);
        if (failure && failure->write_failed) {
            cable.note("ats re-apply for " + pair_text(pair) + " failed: " + failure->error.message());
        }
    }
}

Result<IoctlOutput> fast_init(CableSession& cable, const TactrixChannel& channel, const IoctlInput* input) {
    reapply_parameters(cable, channel);
    Bytes request;
    if (input != nullptr) {
        const auto* bytes = std::get_if<Bytes>(input);
        if (bytes == nullptr) return fail(PassThruError::null_parameter());
        request = *bytes;
    }
    if (auto sent = cable.send(wire::fast_init(channel.protocol.cable_channel, request)); !sent)
        return fail(sent.error());
    auto length =
        cable.await_reply("Tactrix rejected fast init", [](const RxFrame& frame) -> std::optional<std::uint32_t> {
            if (const auto* ack = frame.as<RxFrame::FastInitAck>()) return ack->len;
            return std::nullopt;
        });
    if (!length) return fail(length.error());
    if (*length == 0) return Bytes{};
    auto response = cable.read_exact(*length);
    if (!response) return fail(response.error());
    return std::move(*response);
}

}  // namespace

// The one receive stream serves every channel, so what it held is gone for all of them.
VoidResult TactrixDevice::clear_received() {
    for (auto& [id, channel] : channels_) {
        channel.partial = MessageAssembly{};
        channel.loopback = MessageAssembly{};
    }
    return cable_.discard_received();
}

Result<IoctlOutput> TactrixDevice::ioctl(std::uint32_t channel_id, std::uint32_t ioctl_id, const IoctlInput* input) {
    switch (ioctl_id) {
        case SET_CONFIG:
        case FAST_INIT: {
            TactrixChannel* channel = find_channel(channel_id);
            if (channel == nullptr) return fail(PassThruError::invalid_channel_id());
            return ioctl_id == SET_CONFIG ? set_config(cable_, *channel, *config_, channel_id, input)
                                          : fast_init(cable_, *channel, input);
        }
        case CLEAR_RX_BUFFER:
        case CLEAR_MSG_FILTERS: {
            if (find_channel(channel_id) == nullptr) return fail(PassThruError::invalid_channel_id());
            auto cleared = ioctl_id == CLEAR_RX_BUFFER ? clear_received() : reinstall(channel_id, {});
            if (!cleared) return fail(cleared.error());
            return IoctlNothing{};
        }
        case READ_VBATT: return read_battery(cable_);
        case FIVE_BAUD_INIT:
            cable_.note("FIVE_BAUD_INIT is not implemented for Tactrix");
            return fail(PassThruError::not_supported());
        default: return fail(PassThruError::not_supported());
    }
}

}  // namespace vexo::tactrix
