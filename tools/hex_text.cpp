#include "hex_text.h"

#include <charconv>

namespace vexo::tools {

namespace {

std::string_view strip_hex_prefix(std::string_view text) {
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) text.remove_prefix(2);
    return text;
}

int digit_value(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool is_separator(char c) { return c == ' ' || c == '\t' || c == ',' || c == ':'; }

bool append_piece(std::string_view piece, std::vector<std::uint8_t>& out) {
    piece = strip_hex_prefix(piece);
    if (piece.empty() || piece.size() % 2 != 0) return false;
    for (std::size_t i = 0; i < piece.size(); i += 2) {
        const int high = digit_value(piece[i]);
        const int low = digit_value(piece[i + 1]);
        if (high < 0 || low < 0) return false;
        out.push_back(static_cast<std::uint8_t>(high * 16 + low));
    }
    return true;
}

}  // namespace

std::optional<std::vector<std::uint8_t>> parse_hex_bytes(std::span<const std::string_view> words) {
    std::vector<std::uint8_t> out;
    for (const std::string_view word : words) {
        std::size_t pos = 0;
        while (pos < word.size()) {
            if (is_separator(word[pos])) {
                ++pos;
                continue;
            }
            std::size_t end = pos;
            while (end < word.size() && !is_separator(word[end])) ++end;
            if (!append_piece(word.substr(pos, end - pos), out)) return std::nullopt;
            pos = end;
        }
    }
    if (out.empty()) return std::nullopt;
    return out;
}

std::optional<std::vector<std::uint8_t>> parse_hex_bytes(std::string_view text) {
    return parse_hex_bytes(std::span<const std::string_view>(&text, 1));
}

std::optional<std::uint32_t> parse_hex_u32(std::string_view text) {
    text = strip_hex_prefix(text);
    std::uint32_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, 16);
    if (text.empty() || error != std::errc{} || end != text.data() + text.size()) return std::nullopt;
    return value;
}

std::optional<std::uint32_t> parse_decimal_u32(std::string_view text) {
    std::uint32_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, 10);
    if (text.empty() || error != std::errc{} || end != text.data() + text.size()) return std::nullopt;
    return value;
}

std::optional<CanId> parse_can_id(std::string_view text) {
    const auto value = parse_hex_u32(text);
    if (!value || *value > kMax29BitId) return std::nullopt;
    return CanId{*value, *value > kMax11BitId || strip_hex_prefix(text).size() > 3};
}

}  // namespace vexo::tools
