#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "core/passthru_error.h"
#include "tactrix/frame_receiver.h"
#include "tactrix/tactrix_device.h"

namespace vexo::tactrix {

// Reads frames for up to the reply window until `accept` takes one. An Error frame ends the
// wait with "{rejected} (are {text})"; vehicle data is kept for read_msgs; anything else is
// dropped. `accept` returns the reply's value, or nothing for a frame it does not want.
template <class Accept>
auto await_reply(TactrixDevice& device, std::string_view rejected, Accept accept)
    -> Result<typename std::invoke_result_t<Accept, const RxFrame&>::value_type> {
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + kReplyWindow;
    for (;;) {
        const auto remaining = deadline - Clock::now();
        if (remaining <= Clock::duration::zero()) return fail(PassThruError::timeout());
        auto frame = receive_frame(device, remaining);
        if (!frame) return fail(frame.error());
        if (auto value = accept(*frame)) return std::move(*value);
        if (const auto* error = frame->as<RxFrame::Error>()) {
            device.last_detail = std::string(rejected) + " (are " + error->text + ")";
            return fail(PassThruError::internal(device.last_detail));
        }
        if (auto* data = frame->as<RxFrame::Data>()) device.keep_pending(std::move(*data));
    }
}

Result<std::string> await_identify(TactrixDevice& device);
Result<std::optional<std::uint8_t>> await_ack(TactrixDevice& device);
Result<std::uint32_t> await_filter_ack(TactrixDevice& device);

}  // namespace vexo::tactrix
