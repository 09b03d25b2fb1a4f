#include <algorithm>

#include "tactrix/tactrix_device.h"
#include "tactrix/wire.h"

namespace vexo::tactrix {

namespace {

enum FilterParameter : std::uint32_t { kFilterType = 0, kMaskLength = 1, kFlowControl = 2 };

VoidResult validate_filter(const FilterSpec& filter) {
    if (filter.filter_type < 1 || filter.filter_type > 3) {
        return fail(PassThruError::invalid_value(kFilterType, filter.filter_type));
    }
    const auto length = static_cast<std::uint32_t>(filter.mask.data.size());
    if (length == 0 || filter.mask.data.size() != filter.pattern.data.size()) {
        return fail(PassThruError::invalid_value(kMaskLength, length));
    }
    if (filter.filter_type == wire::kFilterFlowControl) {
        if (!filter.flow_control) return fail(PassThruError::invalid_value(kFlowControl, 0));
        if (filter.flow_control->data.size() != length) {
            return fail(PassThruError::invalid_value(kFlowControl,
                                                     static_cast<std::uint32_t>(filter.flow_control->data.size())));
        }
    }
    return {};
}

}  // namespace

Result<std::uint32_t> TactrixDevice::start_msg_filter(std::uint32_t channel_id, const FilterSpec& filter) {
    TactrixChannel* channel = find_channel(channel_id);
    if (channel == nullptr) return fail(PassThruError::invalid_channel_id());
    if (auto valid = validate_filter(filter); !valid) return fail(valid.error());
    auto cable_id = install_filter(*channel, filter);
    if (!cable_id) return fail(cable_id.error());
    channel->cable_filter_ids.push_back(*cable_id);
    const std::uint32_t id = next_filter_id_.fetch_add(1);
    channel->filters.push_back({id, filter});
    return id;
}

Result<std::uint32_t> TactrixDevice::install_filter(const TactrixChannel& channel, const FilterSpec& filter) {
    const std::span<const std::uint8_t> flow = filter.filter_type == wire::kFilterFlowControl
                                                   ? std::span<const std::uint8_t>(filter.flow_control->data)
                                                   : std::span<const std::uint8_t>();
    const std::uint8_t cable_channel = channel.protocol.cable_channel;
    if (auto sent = cable_.send(wire::filter(cable_channel, filter.filter_type, wire::filter_flags(cable_channel),
                                             filter.mask.data, filter.pattern.data, flow));
        !sent) {
        return fail(sent.error());
    }
    return cable_.await_filter_ack();
}

VoidResult TactrixDevice::stop_msg_filter(std::uint32_t channel_id, std::uint32_t filter_id) {
    const TactrixChannel* channel = find_channel(channel_id);
    if (channel == nullptr) return fail(PassThruError::invalid_channel_id());
    std::vector<AppliedFilter> kept = channel->filters;
    if (std::erase_if(kept, [&](const AppliedFilter& filter) { return filter.id == filter_id; }) == 0) {
        return fail(PassThruError::invalid_filter_id(filter_id));
    }
    return reinstall(channel_id, std::move(kept));
}

// The cable has no command that removes one filter, so the channel is closed and opened again
// and given back what it had: the K-line pass-all filter, every configuration value the cable
// took (in the order set) and the filters kept, with their IDs. The record follows each step the
// cable acknowledges: when one fails, what was not put back is gone from the record too, and a
// channel the cable closed but did not open again is gone altogether.
VoidResult TactrixDevice::reinstall(std::uint32_t channel_id, std::vector<AppliedFilter> kept) {
    TactrixChannel& channel = *find_channel(channel_id);
    if (auto sent = cable_.send(wire::close_channel(channel.protocol.cable_channel)); !sent) return sent;
    if (auto acked = cable_.await_ack(); !acked) return fail(acked.error());

    const ConfigList values = config_->values(channel_id);
    channel.cable_filter_ids.clear();
    channel.filters.clear();
    channel.partial = MessageAssembly{};
    channel.loopback = MessageAssembly{};
    if (auto opened = open_on_cable(channel); !opened) {
        channels_.erase(channel_id);
        config_->forget(channel_id);
        return opened;
    }
    config_->connected(channel_id, channel.baud_rate);
    if (auto passing = pass_all(channel); !passing) return passing;
    for (const ConfigPair& pair : values) {
        if (auto sent = cable_.send(wire::set_parameter(channel.protocol.cable_channel, pair.parameter, pair.value));
            !sent) {
            return sent;
        }
        if (auto acked = cable_.await_ack(); !acked) return fail(acked.error());
        config_->acknowledged(channel_id, pair);
    }
    for (AppliedFilter& filter : kept) {
        auto cable_id = install_filter(channel, filter.spec);
        if (!cable_id) return fail(cable_id.error());
        channel.cable_filter_ids.push_back(*cable_id);
        channel.filters.push_back(std::move(filter));
    }
    return {};
}

}  // namespace vexo::tactrix
