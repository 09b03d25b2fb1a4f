#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

// Small number formatters: the log and error texts need a handful of fixed forms.
namespace vexo::text {

std::string dec(std::uint64_t value);
// "0x" and lower-case digits, no leading zeros: 0x800, 0x0.
std::string hex_prefixed(std::uint32_t value);
// "0x" and lower-case digits padded to 10 characters in all: 0x0000ea60.
std::string hex_wide(std::uint32_t value);
// Two upper-case digits: 0A, FF.
std::string hex_byte(std::uint8_t value);
// Bytes as two upper-case digits each, joined by single blanks.
std::string byte_list(std::span<const std::uint8_t> bytes);

}  // namespace vexo::text
