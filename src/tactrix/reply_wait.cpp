#include "tactrix/reply_wait.h"

namespace vexo::tactrix {

Result<std::string> await_identify(TactrixDevice& device) {
    return await_reply(device, "Tactrix rejected identify", [](const RxFrame& frame) -> std::optional<std::string> {
        if (const auto* identify = frame.as<RxFrame::Identify>()) return identify->text;
        return std::nullopt;
    });
}

Result<std::optional<std::uint8_t>> await_ack(TactrixDevice& device) {
    return await_reply(device, "Tactrix rejected command",
                       [](const RxFrame& frame) -> std::optional<std::optional<std::uint8_t>> {
                           if (const auto* ack = frame.as<RxFrame::Ack>()) return ack->channel;
                           return std::nullopt;
                       });
}

Result<std::uint32_t> await_filter_ack(TactrixDevice& device) {
    return await_reply(device, "Tactrix rejected filter", [](const RxFrame& frame) -> std::optional<std::uint32_t> {
        if (const auto* ack = frame.as<RxFrame::FilterAck>()) return ack->id;
        return std::nullopt;
    });
}

}  // namespace vexo::tactrix
