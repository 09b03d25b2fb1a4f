#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

// The few pieces of Unicode the cable's text lines need.
namespace vexo::tactrix::utf8 {

// Strict UTF-8: no overlong forms, no surrogates, nothing above U+10FFFF.
bool is_valid(std::span<const std::uint8_t> bytes);

// Unicode White_Space.
bool is_whitespace(char32_t code);

// Trimming of Unicode white space; the input must be valid UTF-8.
std::string_view trim_start(std::string_view text);
std::string_view trim_end(std::string_view text);
std::string_view trim(std::string_view text);

// Decodes the code point at text[pos] and advances pos; nullopt (and one byte skipped) on a
// malformed sequence.
std::optional<char32_t> decode_next(std::string_view text, std::size_t& pos);

}  // namespace vexo::tactrix::utf8
