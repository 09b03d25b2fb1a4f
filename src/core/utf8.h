#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

// The few pieces of Unicode the library's texts need: strict UTF-8 (no overlong forms, no
// surrogates, nothing above U+10FFFF) and Unicode white space. Header-only, for whatever else in
// the tree has to judge UTF-8.
namespace vexo::utf8 {

namespace detail {

inline bool is_continuation(std::uint8_t byte) { return (byte & 0xC0) == 0x80; }

// Length of the well-formed sequence at bytes[pos], or 0 if it is malformed.
inline std::size_t sequence_length(const std::uint8_t* bytes, std::size_t size, std::size_t pos) {
    const std::uint8_t lead = bytes[pos];
    if (lead < 0x80) return 1;
    std::size_t length = 0;
    std::uint8_t low = 0x80;
    std::uint8_t high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0) low = 0xA0;   // overlong
        if (lead == 0xED) high = 0x9F;  // surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0) low = 0x90;   // overlong
        if (lead == 0xF4) high = 0x8F;  // above U+10FFFF
    } else {
        return 0;
    }
    if (size - pos < length) return 0;
    if (bytes[pos + 1] < low || bytes[pos + 1] > high) return 0;
    for (std::size_t i = 2; i < length; ++i) {
        if (!is_continuation(bytes[pos + i])) return 0;
    }
    return length;
}

inline const std::uint8_t* raw(std::string_view text) { return reinterpret_cast<const std::uint8_t*>(text.data()); }

}  // namespace detail

// Strict UTF-8 throughout.
inline bool is_valid(std::span<const std::uint8_t> bytes) {
    std::size_t pos = 0;
    while (pos < bytes.size()) {
        const std::size_t length = detail::sequence_length(bytes.data(), bytes.size(), pos);
        if (length == 0) return false;
        pos += length;
    }
    return true;
}

// Unicode White_Space.
inline bool is_whitespace(char32_t code) {
    return (code >= 0x09 && code <= 0x0D) || code == 0x20 || code == 0x85 || code == 0xA0 || code == 0x1680 ||
           (code >= 0x2000 && code <= 0x200A) || code == 0x2028 || code == 0x2029 || code == 0x202F || code == 0x205F ||
           code == 0x3000;
}

// Decodes the code point at text[pos] and advances pos; nullopt (and one byte skipped) on a
// malformed sequence.
inline std::optional<char32_t> decode_next(std::string_view text, std::size_t& pos) {
    const std::uint8_t* bytes = detail::raw(text);
    const std::size_t length = detail::sequence_length(bytes, text.size(), pos);
    if (length == 0) {
        ++pos;
        return std::nullopt;
    }
    char32_t code = length == 1 ? bytes[pos] : bytes[pos] & (0x7F >> length);
    for (std::size_t i = 1; i < length; ++i) code = (code << 6) | (bytes[pos + i] & 0x3F);
    pos += length;
    return code;
}

// Trimming of Unicode white space; the input must be valid UTF-8.
inline std::string_view trim_start(std::string_view text) {
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t next = pos;
        const auto code = decode_next(text, next);
        if (!code || !is_whitespace(*code)) break;
        pos = next;
    }
    return text.substr(pos);
}

inline std::string_view trim_end(std::string_view text) {
    const std::uint8_t* bytes = detail::raw(text);
    std::size_t end = text.size();
    while (end > 0) {
        std::size_t start = end - 1;
        while (start > 0 && detail::is_continuation(bytes[start])) --start;
        std::size_t next = start;
        const auto code = decode_next(text, next);
        if (!code || next != end || !is_whitespace(*code)) break;
        end = start;
    }
    return text.substr(0, end);
}

inline std::string_view trim(std::string_view text) { return trim_end(trim_start(text)); }

}  // namespace vexo::utf8
