#pragma once

#include <cstdint>
#include <optional>
#include <span>

#include "sim/cable_frames.h"

// KWP2000 messages as they travel on the K-line (ISO 14230-2): a format byte whose top bits
// say the addressing and whose low six bits the data length (0: a length byte follows the
// header), the target and source addresses unless the addressing is "none", the data, and
// an 8-bit sum of everything before it.
namespace vexo::sim {

namespace kwp_addressing {
inline constexpr std::uint8_t none = 0x00;
inline constexpr std::uint8_t physical = 0x80;
inline constexpr std::uint8_t functional = 0xC0;
}  // namespace kwp_addressing

struct KwpMessage {
    std::uint8_t addressing = kwp_addressing::physical;
    std::uint8_t target = 0;
    std::uint8_t source = 0;
    Bytes data;  // service byte first

    friend bool operator==(const KwpMessage&, const KwpMessage&) = default;
};

inline constexpr std::size_t kwp_max_data = 255;

std::uint8_t kwp_checksum(std::span<const std::uint8_t> bytes);

// The message at the start of `bytes`, checksum included; bytes after it are ignored.
// Nothing for a short message, a wrong checksum, an addressing mode 0x40 or no data.
std::optional<KwpMessage> parse_kwp(std::span<const std::uint8_t> bytes);

// The message on the line, with the length in the format byte when it fits in six bits.
// Data beyond kwp_max_data is a caller bug: std::length_error.
Bytes encode_kwp(const KwpMessage& message);

}  // namespace vexo::sim
