#include "tactrix/reply_wait.h"
#include "tactrix/tactrix_device.h"
#include "tactrix/wire.h"

namespace vexo::tactrix {

namespace {
bool is_supported_protocol(std::uint32_t protocol_id) { return protocol_id >= 3 && protocol_id <= 6; }
}  // namespace

Result<std::uint32_t> TactrixDevice::connect(std::uint32_t, std::uint32_t protocol_id, std::uint32_t flags,
                                             std::uint32_t baud_rate) {
    if (!is_supported_protocol(protocol_id)) return fail(PassThruError::invalid_protocol_id());
    const auto cable_channel = static_cast<std::uint8_t>(protocol_id);
    if (auto sent = send(wire::open_channel(cable_channel, flags, baud_rate)); !sent) return fail(sent.error());
    if (auto acked = await_ack(*this); !acked) return fail(acked.error());

    TactrixChannel& channel = channels.insert_or_assign(protocol_id, TactrixChannel{}).first->second;
    channel.protocol_id = protocol_id;
    channel.connect_flags = flags;
    channel.baud_rate = baud_rate;
    channel.cable_channel = cable_channel;
    if (channel.is_can()) return protocol_id;

    // The K-line channels pass nothing until a filter lets it through.
    if (auto sent = send(wire::pass_all_filter(cable_channel)); !sent) return fail(sent.error());
    auto filter_id = await_filter_ack(*this);
    if (!filter_id) return fail(filter_id.error());
    // The wait may have rehashed nothing, but look the record up again rather than trust a reference.
    find_channel(protocol_id)->cable_filter_ids.push_back(*filter_id);
    return protocol_id;
}

VoidResult TactrixDevice::disconnect(std::uint32_t channel_id) {
    const TactrixChannel* channel = find_channel(channel_id);
    if (channel == nullptr) return fail(PassThruError::invalid_channel_id());
    // The channel goes whatever the cable answers: an application must be able to let go of it.
    (void)send(wire::close_channel(channel->cable_channel));
    (void)await_ack(*this);
    channels.erase(channel_id);
    return {};
}

}  // namespace vexo::tactrix
