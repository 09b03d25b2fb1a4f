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
    const std::uint8_t cable_channel = protocol->cable_channel;
    if (auto sent = cable_.send(wire::open_channel(cable_channel, flags, baud_rate)); !sent) return fail(sent.error());
    if (auto acked = cable_.await_ack(); !acked) return fail(acked.error());

    TactrixChannel& channel = channels_.insert_or_assign(protocol_id, TactrixChannel{}).first->second;
    channel.protocol = *protocol;
    channel.connect_flags = flags;
    channel.baud_rate = baud_rate;
    if (protocol->can) return protocol_id;

    // The K-line channels pass nothing until a filter lets it through.
    if (auto sent = cable_.send(wire::pass_all_filter(cable_channel)); !sent) return fail(sent.error());
    auto filter_id = cable_.await_filter_ack();
    if (!filter_id) return fail(filter_id.error());
    channel.cable_filter_ids.push_back(*filter_id);
    return protocol_id;
}

VoidResult TactrixDevice::disconnect(std::uint32_t channel_id) {
    const TactrixChannel* channel = find_channel(channel_id);
    if (channel == nullptr) return fail(PassThruError::invalid_channel_id());
    // The channel goes whatever the cable answers: an application must be able to let go of it.
    (void)cable_.send(wire::close_channel(channel->protocol.cable_channel));
    (void)cable_.await_ack();
    channels_.erase(channel_id);
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
        const auto* data = frame->as<RxFrame::Data>();
        if (data == nullptr) continue;
        if (feed_frame(channel->partial, *data, channel->protocol.can) == AssemblyStep::Open) continue;
        if (channel->partial.data.empty()) {
            channel->partial = MessageAssembly{};
            return messages;
        }
        if (channel->partial.dropped != 0) {
            cable_.note("received message longer than " + text::dec(PASSTHRU_MSG_DATA_SIZE) + " bytes: dropped its last " +
                        text::dec(channel->partial.dropped));
        }
        messages.push_back(complete_message(channel->partial, channel->protocol.id));
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
