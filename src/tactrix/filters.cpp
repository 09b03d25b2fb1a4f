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

    const std::span<const std::uint8_t> flow = filter.filter_type == wire::kFilterFlowControl
                                                   ? std::span<const std::uint8_t>(filter.flow_control->data)
                                                   : std::span<const std::uint8_t>();
    if (auto sent = cable_.send(wire::filter(channel->protocol.cable_channel, filter.filter_type,
                                             wire::filter_flags(channel->protocol.cable_channel), filter.mask.data,
                                             filter.pattern.data, flow));
        !sent) {
        return fail(sent.error());
    }
    auto cable_id = cable_.await_filter_ack();
    if (!cable_id) return fail(cable_id.error());
    channel->cable_filter_ids.push_back(*cable_id);
    return next_filter_id_.fetch_add(1);
}

VoidResult TactrixDevice::stop_msg_filter(std::uint32_t, std::uint32_t) {
    cable_.note(
        "stop_msg_filter: not supported by Tactrix wire protocol; disconnect/reconnect the channel to clear filters");
    return fail(PassThruError::not_supported());
}

}  // namespace vexo::tactrix
