#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace vexo::tools {

// Upper-case hexadecimal, zero-padded to at least min_digits: hex_u32(0x7E8, 3) is "7E8".
std::string hex_u32(std::uint32_t value, int min_digits);
// Bytes as two upper-case digits each, joined by single blanks: "03 41 0C".
std::string hex_bytes(std::span<const std::uint8_t> bytes);

// Bytes typed by a person: "22F190", "22 F1 90", "0x22 0xF1,90". Words are split at blanks, commas and
// colons; each piece needs an even number of digits, so "2F1" is refused rather than guessed at.
std::optional<std::vector<std::uint8_t>> parse_hex_bytes(std::span<const std::string_view> words);
std::optional<std::vector<std::uint8_t>> parse_hex_bytes(std::string_view text);
// A hexadecimal number with or without "0x": "7E0", "0x18DAF110".
std::optional<std::uint32_t> parse_hex_u32(std::string_view text);
std::optional<std::uint32_t> parse_decimal_u32(std::string_view text);

}  // namespace vexo::tools
