#include "sim/vehicle_kwp_frame.h"

#include <numeric>
#include <stdexcept>

namespace vexo::sim {

namespace {

constexpr std::uint8_t addressing_bits = 0xC0;
constexpr std::uint8_t length_bits = 0x3F;

}  // namespace

std::uint8_t kwp_checksum(std::span<const std::uint8_t> bytes) {
    return static_cast<std::uint8_t>(std::accumulate(bytes.begin(), bytes.end(), 0u));
}

std::optional<KwpMessage> parse_kwp(std::span<const std::uint8_t> bytes) {
    if (bytes.empty()) return std::nullopt;
    KwpMessage message;
    message.addressing = bytes[0] & addressing_bits;
    if (message.addressing == 0x40) return std::nullopt;  // CARB mode, not KWP2000
    std::size_t at = 1;
    if (message.addressing != kwp_addressing::none) {
        if (bytes.size() < 3) return std::nullopt;
        message.target = bytes[1];
        message.source = bytes[2];
        at = 3;
    }
    std::size_t length = bytes[0] & length_bits;
    if (length == 0) {
        if (bytes.size() <= at) return std::nullopt;
        length = bytes[at++];
    }
    if (length == 0 || bytes.size() < at + length + 1) return std::nullopt;
    if (bytes[at + length] != kwp_checksum(bytes.first(at + length))) return std::nullopt;
    message.data.assign(bytes.begin() + static_cast<std::ptrdiff_t>(at),
                        bytes.begin() + static_cast<std::ptrdiff_t>(at + length));
    return message;
}

Bytes encode_kwp(const KwpMessage& message) {
    if (message.data.size() > kwp_max_data) throw std::length_error("KWP2000 message data too long");
    const auto length = static_cast<std::uint8_t>(message.data.size());
    const bool length_in_format = length <= length_bits;
    Bytes out{static_cast<std::uint8_t>(message.addressing | (length_in_format ? length : 0))};
    if (message.addressing != kwp_addressing::none) {
        out.push_back(message.target);
        out.push_back(message.source);
    }
    if (!length_in_format) out.push_back(length);
    append(out, message.data);
    out.push_back(kwp_checksum(out));
    return out;
}

}  // namespace vexo::sim
