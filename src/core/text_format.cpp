#include "core/text_format.h"

#include <charconv>

namespace vexo::text {

namespace {

constexpr std::string_view kLowerDigits = "0123456789abcdef";
constexpr std::string_view kUpperDigits = "0123456789ABCDEF";

}  // namespace

std::string dec(std::uint64_t value) {
    char buf[24];
    auto r = std::to_chars(buf, buf + sizeof buf, value);
    return std::string(buf, r.ptr);
}

std::string hex(std::uint64_t value, std::size_t min_digits, HexCase letters) {
    const std::string_view digits = letters == HexCase::Upper ? kUpperDigits : kLowerDigits;
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

std::string byte_list(std::span<const std::uint8_t> bytes) {
    std::string out;
    out.reserve(bytes.size() * 3);
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (i != 0) out.push_back(' ');
        out.push_back(kUpperDigits[bytes[i] >> 4]);
        out.push_back(kUpperDigits[bytes[i] & 0x0F]);
    }
    return out;
}

}  // namespace vexo::text
