#include <algorithm>
#include <utility>

#include "core/text_format.h"
#include "tactrix/tactrix_device.h"
#include "tactrix/wire.h"
#include "vexo/j2534.h"

namespace vexo::tactrix {

namespace {

using Clock = std::chrono::steady_clock;

// Room reserved up front; an application may ask for billions of messages.
constexpr std::uint32_t kReserveLimit = 64;

constexpr std::size_t kCanIdLength = 4;
constexpr std::uint32_t kLargest11BitId = 0x7FF;

// "CAN message of 13 bytes: a CAN frame holds a 4-byte ID and at most 8 data bytes"; short
// enough for the 80 bytes of PassThruGetLastError's buffer.
std::string size_rule(const ProtocolFacts& protocol, std::size_t size, const MessageSizes& sizes) {
    const std::string text = std::string(protocol.name) + " message of " + text::dec(size) + " bytes: ";
    const std::string range = text::dec(sizes.min) + " to " + text::dec(sizes.max);
    if (sizes.extended) return text + "extended addressing needs " + range + " bytes";
    if (!protocol.can) return text + "it needs " + range + " bytes";
    const std::string most = text::dec(sizes.max - kCanIdLength);
    if (sizes.min == kCanIdLength) return text + "a CAN frame holds a 4-byte ID and at most " + most + " data bytes";
    return text + "it needs a 4-byte ID and " + text::dec(sizes.min - kCanIdLength) + " to " + most + " data bytes";
}

void take_timestamp(MessageAssembly& message, const RxFrame::Data& frame) {
    if (frame.ts_us != 0) message.timestamp = frame.ts_us;
}

void append(MessageAssembly& message, const std::vector<std::uint8_t>& payload, std::size_t skip) {
    const std::size_t incoming = payload.size() - skip;
    const std::size_t room = PASSTHRU_MSG_DATA_SIZE - message.data.size();
    const std::size_t kept = std::min(incoming, room);
    const auto first = payload.begin() + static_cast<std::ptrdiff_t>(skip);
    message.data.insert(message.data.end(), first, first + static_cast<std::ptrdiff_t>(kept));
    message.dropped += incoming - kept;
}

}  // namespace

AssemblyStep feed_frame(MessageAssembly& message, const RxFrame::Data& frame, bool can_channel) {
    switch (frame.kind.tag()) {
        case DataKind::Normal: {
            take_timestamp(message, frame);
            const bool strip = can_channel && message.continuation && frame.payload.size() > 3;
            append(message, frame.payload, strip ? kCanIdLength : 0);
            message.continuation = true;
            return AssemblyStep::Open;
        }
        case DataKind::NormalStart: take_timestamp(message, frame); return AssemblyStep::Open;
        case DataKind::RxEnd:
        case DataKind::RxEndExtended:
            take_timestamp(message, frame);
            if (can_channel) {
                const bool strip = message.continuation && frame.payload.size() >= kCanIdLength;
                append(message, frame.payload, strip ? kCanIdLength : 0);
            }
            return AssemblyStep::Ended;
        default: return AssemblyStep::Open;
    }
}

std::optional<DataKind> loopback_as_received(DataKind kind) {
    switch (kind.tag()) {
        case DataKind::TxLoopbackStart: return DataKind::NormalStart;
        case DataKind::TxLoopback: return DataKind::Normal;
        case DataKind::LoopbackEnd: return DataKind::RxEnd;
        default: return std::nullopt;
    }
}

std::uint32_t rx_status_of(const TactrixChannel& channel, std::span<const std::uint8_t> data, bool loopback) {
    std::uint32_t status = loopback ? TX_MSG_TYPE : 0;
    if (!channel.protocol.can) return status;
    const bool only_29_bit = (channel.connect_flags & CAN_29BIT_ID) != 0 && (channel.connect_flags & CAN_ID_BOTH) == 0;
    std::uint32_t can_id = 0;
    for (std::uint8_t byte : data.first(std::min(data.size(), kCanIdLength))) can_id = can_id << 8 | byte;
    if (only_29_bit || can_id > kLargest11BitId) status |= CAN_29BIT_ID;
    return status;
}

Message complete_message(MessageAssembly& message, std::uint32_t protocol_id) {
    Message out;
    out.data = std::move(message.data);
    out.protocol_id = protocol_id;
    out.timestamp = message.timestamp;
    out.extra_data_index = static_cast<std::uint32_t>(out.data.size());
    message = MessageAssembly{};
    return out;
}

Result<std::uint32_t> TactrixDevice::connect(std::uint32_t, std::uint32_t protocol_id, std::uint32_t flags,
                                             std::uint32_t baud_rate) {
    const ProtocolFacts* protocol = carried_protocol(protocol_id);
    if (protocol == nullptr) return fail(PassThruError::invalid_protocol_id());
    TactrixChannel fresh;
    fresh.protocol = *protocol;
    fresh.connect_flags = flags;
    fresh.baud_rate = baud_rate;
    if (auto opened = open_on_cable(fresh); !opened) return fail(opened.error());
    TactrixChannel& channel = channels_.insert_or_assign(protocol_id, std::move(fresh)).first->second;
    config_->connected(protocol_id, baud_rate);
    if (auto passing = pass_all(channel); !passing) return fail(passing.error());
    return protocol_id;
}

VoidResult TactrixDevice::open_on_cable(const TactrixChannel& channel) {
    if (auto sent = cable_.send(wire::open_channel(channel.protocol.cable_channel, channel.connect_flags,
                                                   channel.baud_rate));
        !sent) {
        return sent;
    }
    if (auto acked = cable_.await_ack(); !acked) return fail(acked.error());
    return {};
}

VoidResult TactrixDevice::pass_all(TactrixChannel& channel) {
    // The K-line channels pass nothing until a filter lets it through.
    if (channel.protocol.can) return {};
    if (auto sent = cable_.send(wire::pass_all_filter(channel.protocol.cable_channel)); !sent) return sent;
    auto filter_id = cable_.await_filter_ack();
    if (!filter_id) return fail(filter_id.error());
    channel.cable_filter_ids.push_back(*filter_id);
    return {};
}

VoidResult TactrixDevice::disconnect(std::uint32_t channel_id) {
    const TactrixChannel* channel = find_channel(channel_id);
    if (channel == nullptr) return fail(PassThruError::invalid_channel_id());
    // The channel goes whatever the cable answers: an application must be able to let go of it.
    (void)cable_.send(wire::close_channel(channel->protocol.cable_channel));
    (void)cable_.await_ack();
    channels_.erase(channel_id);
    config_->forget(channel_id);
    return {};
}

Result<std::vector<Message>> TactrixDevice::read_msgs(std::uint32_t channel_id, std::uint32_t max_msgs,
                                                      std::uint32_t timeout_ms) {
    TactrixChannel* channel = find_channel(channel_id);
    if (channel == nullptr) return fail(PassThruError::invalid_channel_id());
    std::vector<Message> messages;
    messages.reserve(std::min(max_msgs, kReserveLimit));
    if (max_msgs == 0) return messages;

    // A zero time-out takes what is complete already, polls the cable once, takes what that
    // completed, and returns without an error when nothing is there.
    const bool loopback_on = config_->reported(channel_id, LOOPBACK).value_or(0) != 0;
    const bool polling = timeout_ms == 0;
    bool polled = false;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
    while (messages.size() < max_msgs) {
        auto remaining = std::max(Clock::duration::zero(), deadline - Clock::now());
        if (!polling && remaining == Clock::duration::zero() && !cable_.has_pending()) break;
        auto frame = cable_.next_frame(remaining);
        if (!frame) {
            if (!frame.error().is_timeout()) return fail(frame.error());
            if (!polling || polled) break;
            if (auto poll = cable_.poll(); !poll) return fail(poll.error());
            polled = true;
            continue;
        }
        if (const auto* error = frame->as<RxFrame::Error>()) {
            cable_.note("Tactrix error mid-stream: " + error->text);
            continue;
        }
        auto* data = frame->as<RxFrame::Data>();
        if (data == nullptr) continue;
        // The cable echoes what was sent; the application sees it only with LOOPBACK on.
        const std::optional<DataKind> echoed = loopback_as_received(data->kind);
        if (echoed && !loopback_on) continue;
        if (echoed) data->kind = *echoed;
        MessageAssembly& assembly = echoed ? channel->loopback : channel->partial;
        if (feed_frame(assembly, *data, channel->protocol.can) == AssemblyStep::Open) continue;
        if (assembly.data.empty()) {
            assembly = MessageAssembly{};
            if (echoed) continue;
            return messages;
        }
        if (assembly.dropped != 0) {
            cable_.note("received message longer than " + text::dec(PASSTHRU_MSG_DATA_SIZE) + " bytes: dropped its last " +
                        text::dec(assembly.dropped));
        }
        Message message = complete_message(assembly, channel->protocol.id);
        message.rx_status = rx_status_of(*channel, message.data, echoed.has_value());
        messages.push_back(std::move(message));
    }
    // A message still arriving stays with the channel for the next read: delivering half of
    // it would hand the application a corrupted message.
    if (messages.empty() && !polling) return fail(PassThruError::timeout());
    return messages;
}

WriteResult TactrixDevice::write_msgs(std::uint32_t channel_id, std::span<const Message> msgs,
                                      std::uint32_t timeout_ms) {
    const TactrixChannel* channel = find_channel(channel_id);
    if (channel == nullptr) return fail(PassThruError::invalid_channel_id());
    const std::chrono::nanoseconds timeout =
        timeout_ms == 0 ? std::chrono::nanoseconds(kCommandTimeout) : std::chrono::milliseconds(timeout_ms);
    std::uint32_t written = 0;
    for (const Message& msg : msgs) {
        // Nothing of a message the protocol cannot carry reaches the cable; those before it have.
        if (const MessageSizes sizes = message_sizes(channel->protocol, msg.tx_flags); !sizes.fits(msg.data.size())) {
            return std::unexpected(WriteFailure(
                PassThruError::invalid_msg(size_rule(channel->protocol, msg.data.size(), sizes)), written));
        }
        const auto flags = wire::transmit_flags(channel->protocol.cable_channel, msg.tx_flags);
        if (auto sent = cable_.send(wire::transmit(channel->protocol.cable_channel, flags, msg.data), timeout); !sent) {
            return std::unexpected(WriteFailure(sent.error(), written));
        }
        ++written;
    }
    return written;
}

Result<std::uint32_t> TactrixDevice::start_periodic_msg(std::uint32_t, const Message&, std::uint32_t) {
    cable_.note("periodic messages are not implemented for Tactrix");
    return fail(PassThruError::not_supported());
}

}  // namespace vexo::tactrix
