#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

// Small number formatters: the log and error texts need a handful of fixed forms.
namespace vexo::text {

enum class HexCase { Lower, Upper };

std::string dec(std::uint64_t value);
// Hex digits without a prefix, zero-padded to at least min_digits: hex(0x3, 2) is "03".
std::string hex(std::uint64_t value, std::size_t min_digits = 1, HexCase letters = HexCase::Lower);
// "0x" and lower-case digits, no leading zeros: 0x800, 0x0.
inline std::string hex_prefixed(std::uint64_t value) { return "0x" + hex(value); }
// "0x" and lower-case digits, at least 8 of them: 0x0000ea60.
inline std::string hex_wide(std::uint64_t value) { return "0x" + hex(value, 8); }
// Two upper-case digits: 0A, FF.
inline std::string hex_byte(std::uint8_t value) { return hex(value, 2, HexCase::Upper); }
// Bytes as two upper-case digits each, joined by single blanks.
std::string byte_list(std::span<const std::uint8_t> bytes);

}  // namespace vexo::text
