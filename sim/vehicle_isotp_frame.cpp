#include "sim/vehicle_isotp_frame.h"

namespace vexo::sim {

std::optional<std::span<const std::uint8_t>> single_frame_payload(std::span<const std::uint8_t> frame) {
    if (frame.empty() || (frame[0] & 0xF0) != 0x00) return std::nullopt;
    const std::size_t length = frame[0] & 0x0F;
    if (length == 0 || length > single_frame_max_payload || length > frame.size() - 1) return std::nullopt;
    return frame.subspan(1, length);
}

std::optional<Bytes> single_frame(std::span<const std::uint8_t> payload, std::uint8_t pad) {
    if (payload.empty() || payload.size() > single_frame_max_payload) return std::nullopt;
    Bytes frame{static_cast<std::uint8_t>(payload.size())};
    append(frame, payload);
    frame.resize(8, pad);
    return frame;
}

}  // namespace vexo::sim
