#pragma once

#include <cstdint>
#include <optional>
#include <span>

#include "sim/cable_frames.h"

// ISO-TP (ISO 15765-2) single frames on classic CAN, for ECUs that see raw CAN frames:
// a PCI byte 0x0L, then L (1..7) payload bytes.
namespace vexo::sim {

inline constexpr std::size_t single_frame_max_payload = 7;

// The payload of a single frame, nothing for any other frame type or an impossible length.
// Bytes after the payload are padding.
std::optional<std::span<const std::uint8_t>> single_frame_payload(std::span<const std::uint8_t> frame);

// The 8-byte single frame carrying `payload`, padded with `pad`; nothing when it does not fit.
std::optional<Bytes> single_frame(std::span<const std::uint8_t> payload, std::uint8_t pad);

}  // namespace vexo::sim
