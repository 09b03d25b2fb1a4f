#include "core/text_format.h"
#include "tactrix/tactrix_device.h"

namespace vexo::tactrix {

namespace {

constexpr std::uint32_t kShortestInterval = 5;  // ms
constexpr std::uint32_t kLongestInterval = 65535;
constexpr std::size_t kPeriodicPerChannel = 10;

// "ISO15765 periodic message of 20 bytes: one frame holds 5 to 11 bytes": the sender writes
// while the application's segmented messages may be on the bus, where only a single frame
// cannot break one apart.
std::optional<PassThruError> frame_refusal(const ProtocolFacts& protocol, const Message& msg) {
    if (!segmented(protocol, msg.data.size())) return std::nullopt;
    return PassThruError::invalid_msg(std::string(protocol.name) + " periodic message of " +
                                      text::dec(msg.data.size()) + " bytes: one frame holds " +
                                      text::dec(message_sizes(protocol, msg.tx_flags).min) + " to " +
                                      text::dec(protocol.single_frame_max) + " bytes");
}

}  // namespace

Result<std::uint32_t> TactrixDevice::start_periodic_msg(std::uint32_t channel_id, const Message& msg,
                                                        std::uint32_t interval_ms) {
    const TactrixChannel* channel = find_channel(channel_id);
    if (channel == nullptr) return fail(PassThruError::invalid_channel_id());
    if (auto refused = size_refusal(channel->protocol, msg)) return fail(std::move(*refused));
    if (auto refused = frame_refusal(channel->protocol, msg)) return fail(std::move(*refused));
    if (interval_ms < kShortestInterval || interval_ms > kLongestInterval) {
        return fail(PassThruError::invalid_time_interval("time interval " + text::dec(interval_ms) +
                                                         " ms: periodic messages take " + text::dec(kShortestInterval) +
                                                         " to " + text::dec(kLongestInterval) + " ms"));
    }
    if (periodic_.count(channel_id) >= kPeriodicPerChannel) {
        return fail(PassThruError::exceeded_limit("channel " + text::dec(channel_id) + " already sends " +
                                                  text::dec(kPeriodicPerChannel) + " periodic messages"));
    }

    PeriodicMessage periodic{next_periodic_id_, channel_id, transmit_of(*channel, msg),
                             std::chrono::milliseconds(interval_ms), std::chrono::steady_clock::now()};
    // The first send goes out now, and its failure is the caller's, unless a segmented message
    // may still be on the bus: then the sender sends it as soon as that one is through.
    if (!cable_.channel_busy(periodic.transmit.cable_channel)) {
        if (auto sent = cable_.transmit(periodic.transmit, kCommandTimeout, periodic_wire_label(periodic.id)); !sent) {
            return fail(sent.error());
        }
        periodic.due += periodic.interval;
    }
    // IDs are never 0, and never reused while the device is open.
    next_periodic_id_ = next_periodic_id_ == UINT32_MAX ? 1 : next_periodic_id_ + 1;
    const std::uint32_t id = periodic.id;
    periodic_.add(std::move(periodic));
    return id;
}

VoidResult TactrixDevice::stop_periodic_msg(std::uint32_t channel_id, std::uint32_t msg_id) {
    if (find_channel(channel_id) == nullptr) return fail(PassThruError::invalid_channel_id());
    if (periodic_.remove(channel_id, msg_id)) return {};
    // Messages the cable's loss stopped are not unknown: the cable is what is missing.
    if (auto loss = periodic_.loss()) return fail(std::move(*loss));
    return fail(PassThruError::invalid_msg_id(msg_id));
}

VoidResult TactrixDevice::clear_periodic(std::uint32_t channel_id) {
    if (find_channel(channel_id) == nullptr) return fail(PassThruError::invalid_channel_id());
    periodic_.remove_channel(channel_id);
    return {};
}

}  // namespace vexo::tactrix
