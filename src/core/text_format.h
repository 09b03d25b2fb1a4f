#pragma once

#include <charconv>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

// Small number formatters: the log and error texts need a handful of fixed forms. Header-only, so
// that the simulated cable and the vexo client, which link none of the library, share them.
namespace vexo::text {

enum class HexCase { Lower, Upper };

inline std::string dec(std::uint64_t value) {
    char buf[24];
    const auto r = std::to_chars(buf, buf + sizeof buf, value);
    return std::string(buf, r.ptr);
}

// Hex digits without a prefix, zero-padded to at least min_digits: hex(0x3, 2) is "03".
inline std::string hex(std::uint64_t value, std::size_t min_digits = 1, HexCase letters = HexCase::Lower) {
    const std::string_view digits = letters == HexCase::Upper ? "0123456789ABCDEF" : "0123456789abcdef";
    char buf[16];
    char* start = buf + sizeof buf;
    do {
        *--start = digits[value & 0x0F];
        value >>= 4;
    } while (value != 0);
    const auto length = static_cast<std::size_t>(buf + sizeof buf - start);
    std::string out(min_digits > length ? min_digits - length : 0, '0');
    out.append(start, length);
    return out;
}

// Upper-case digits, zero-padded: hex_upper(0x7E8, 3) is "7E8", hex_upper(0x18DAF110, 3) "18DAF110".
inline std::string hex_upper(std::uint64_t value, std::size_t min_digits = 1) {
    return hex(value, min_digits, HexCase::Upper);
}
// "0x" and lower-case digits, no leading zeros: 0x800, 0x0.
inline std::string hex_prefixed(std::uint64_t value, std::size_t min_digits = 1) {
    return "0x" + hex(value, min_digits);
}
// "0x" and lower-case digits, at least 8 of them: 0x0000ea60.
inline std::string hex_wide(std::uint64_t value) { return hex_prefixed(value, 8); }
// Two upper-case digits: 0A, FF.
inline std::string hex_byte(std::uint8_t value) { return hex_upper(value, 2); }

// Bytes as two upper-case digits each, joined by `separator`: "03 41 0C", or "03410C" with "".
inline std::string byte_list(std::span<const std::uint8_t> bytes, std::string_view separator = " ") {
    std::string out;
    out.reserve(bytes.size() * (2 + separator.size()));
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (i != 0) out.append(separator);
        out.append(hex_byte(bytes[i]));
    }
    return out;
}

}  // namespace vexo::text
