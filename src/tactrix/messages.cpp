#include <algorithm>

#include "tactrix/frame_receiver.h"
#include "tactrix/tactrix_device.h"
#include "tactrix/wire.h"

namespace vexo::tactrix {

namespace {

using Clock = std::chrono::steady_clock;

// Room reserved up front; an application may ask for billions of messages.
constexpr std::uint32_t kReserveLimit = 64;

// Where a read takes its frames from: vehicle data kept during command replies first,
// then the cable.
class FrameSource {
public:
    explicit FrameSource(TactrixDevice& device) : device_(device) {}

    Result<RxFrame> next(std::chrono::nanoseconds limit) {
        if (!device_.pending_data.empty()) {
            RxFrame frame{std::move(device_.pending_data.front())};
            device_.pending_data.pop_front();
            return frame;
        }
        return receive_frame(device_, limit);
    }

private:
    TactrixDevice& device_;
};

}  // namespace

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
    FrameSource source(*this);
    while (messages.size() < max_msgs) {
        auto remaining = std::max(Clock::duration::zero(), deadline - Clock::now());
        if (!polling && remaining == Clock::duration::zero() && pending_data.empty()) break;
        auto frame = source.next(remaining);
        if (!frame) {
            if (!frame.error().is_timeout()) return fail(frame.error());
            if (!polling || polled) break;
            if (auto poll = poll_cable(*this); !poll) return fail(poll.error());
            polled = true;
            continue;
        }
        if (const auto* error = frame->as<RxFrame::Error>()) {
            last_detail = "Tactrix error mid-stream: " + error->text;
            continue;
        }
        const auto* data = frame->as<RxFrame::Data>();
        if (data == nullptr) continue;
        if (feed_frame(channel->partial, *data, channel->is_can()) == AssemblyStep::Open) continue;
        if (channel->partial.data.empty()) {
            channel->partial = MessageAssembly{};
            return messages;
        }
        messages.push_back(complete_message(channel->partial, channel->protocol_id));
    }
    // A message still arriving stays with the channel for the next read: delivering half of
    // it would hand the application a corrupted message.
    if (messages.empty() && !polling) return fail(PassThruError::timeout());
    return messages;
}

Result<std::uint32_t> TactrixDevice::write_msgs(std::uint32_t channel_id, std::span<const Message> msgs,
                                                std::uint32_t timeout_ms) {
    const TactrixChannel* channel = find_channel(channel_id);
    if (channel == nullptr) return fail(PassThruError::invalid_channel_id());
    const std::chrono::nanoseconds timeout =
        timeout_ms == 0 ? std::chrono::nanoseconds(kCommandTimeout) : std::chrono::milliseconds(timeout_ms);
    for (const Message& msg : msgs) {
        const auto flags = wire::transmit_flags(channel->cable_channel, msg.tx_flags);
        if (auto sent = send(wire::transmit(channel->cable_channel, flags, msg.data), timeout); !sent) {
            return fail(sent.error());
        }
    }
    return static_cast<std::uint32_t>(msgs.size());
}

Result<std::uint32_t> TactrixDevice::start_periodic_msg(std::uint32_t, const Message&, std::uint32_t) {
    last_detail = "periodic messages are not implemented for Tactrix";
    return fail(PassThruError::not_supported());
}

}  // namespace vexo::tactrix
