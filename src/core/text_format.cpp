#include "core/text_format.h"

#include <charconv>

namespace vexo::text {

namespace {
constexpr char kUpper[] = "0123456789ABCDEF";
}

std::string dec(std::uint64_t value) {
    char buf[24];
    auto r = std::to_chars(buf, buf + sizeof buf, value);
    return std::string(buf, r.ptr);
}

std::string hex_prefixed(std::uint32_t value) {
    char buf[16];
    auto r = std::to_chars(buf, buf + sizeof buf, value, 16);
    return "0x" + std::string(buf, r.ptr);
}

std::string hex_wide(std::uint32_t value) {
    char buf[16];
    auto r = std::to_chars(buf, buf + sizeof buf, value, 16);
    std::string digits(buf, r.ptr);
    return "0x" + std::string(8 - digits.size(), '0') + digits;
}

std::string hex_byte(std::uint8_t value) { return {kUpper[value >> 4], kUpper[value & 0x0F]}; }

std::string byte_list(std::span<const std::uint8_t> bytes) {
    std::string out;
    out.reserve(bytes.size() * 3);
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (i != 0) out.push_back(' ');
        out.push_back(kUpper[bytes[i] >> 4]);
        out.push_back(kUpper[bytes[i] & 0x0F]);
    }
    return out;
}

}  // namespace vexo::text
