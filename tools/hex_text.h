#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

// Numbers and bytes as a person types them.
namespace vexo::tools {

// Bytes typed by a person: "22F190", "22 F1 90", "0x22 0xF1,90". Words are split at blanks, commas and
// colons; each piece needs an even number of digits, so "2F1" is refused rather than guessed at.
std::optional<std::vector<std::uint8_t>> parse_hex_bytes(std::span<const std::string_view> words);
std::optional<std::vector<std::uint8_t>> parse_hex_bytes(std::string_view text);
// A hexadecimal number with or without "0x": "7E0", "0x18DAF110".
std::optional<std::uint32_t> parse_hex_u32(std::string_view text);
std::optional<std::uint32_t> parse_decimal_u32(std::string_view text);

// A CAN identifier. An ID above 7FF, or written with more than three digits ("00000201"), is a
// 29-bit one: a 29-bit ID below 800 can be named at all only so.
struct CanId {
    std::uint32_t value;
    bool extended;
    bool operator==(const CanId&) const = default;
};
inline constexpr std::uint32_t kMax11BitId = 0x7FF;
inline constexpr std::uint32_t kMax29BitId = 0x1FFFFFFF;
std::optional<CanId> parse_can_id(std::string_view text);

}  // namespace vexo::tools
