#include "tactrix/frames.h"

#include <algorithm>
#include <optional>
#include <string_view>

#include "core/protocols.h"
#include "core/text_format.h"

namespace vexo::tactrix {

namespace {

using Bytes = std::span<const std::uint8_t>;

constexpr std::uint8_t kLf = 0x0A;
constexpr std::size_t kDataHeader = 4;  // "ar", channel digit, L
constexpr std::size_t kTimestamp = 4;

std::unexpected<ParseError> error(ParseError::Kind kind) { return std::unexpected(ParseError{kind}); }

bool is_ascii_whitespace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\f' || c == '\r'; }

// Decimal with an optional leading "+", digits only, no larger than max. Overflow is unreadable.
std::optional<std::uint32_t> parse_decimal(std::string_view text, std::uint32_t max) {
    if (!text.empty() && text.front() == '+') text.remove_prefix(1);
    if (text.empty()) return std::nullopt;
    std::uint64_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + static_cast<std::uint64_t>(c - '0');
        if (value > max) return std::nullopt;
    }
    return static_cast<std::uint32_t>(value);
}

std::uint8_t parse_u8_or_zero(std::string_view text) {
    return static_cast<std::uint8_t>(parse_decimal(text, 0xFF).value_or(0));
}

std::uint32_t parse_u32_or_zero(std::string_view text) { return parse_decimal(text, 0xFFFFFFFF).value_or(0); }

// The first two pieces of the text split at runs of ASCII white space; empty when missing.
std::pair<std::string_view, std::string_view> two_fields(std::string_view text) {
    std::string_view pieces[2];
    std::size_t found = 0;
    std::size_t pos = 0;
    while (found < 2) {
        while (pos < text.size() && is_ascii_whitespace(text[pos])) ++pos;
        if (pos == text.size()) break;
        const std::size_t start = pos;
        while (pos < text.size() && !is_ascii_whitespace(text[pos])) ++pos;
        pieces[found++] = text.substr(start, pos - start);
    }
    return {pieces[0], pieces[1]};
}

std::expected<ParsedFrame, ParseError> parse_data(Bytes b, std::uint8_t channel, bool can) {
    if (b.size() == 3) return error(ParseError::NeedMoreData);
    const std::size_t len = b[3];
    if (len == 0) return error(ParseError::InvalidLen);
    const std::size_t total = len + kDataHeader;
    if (b.size() < total) return error(ParseError::NeedMoreData);

    RxFrame::Data data;
    data.proto = channel;
    data.kind = data_kind_of(b[4]);
    Bytes rest = b.subspan(5, len - 1);
    if (can) {
        if (len <= kTimestamp) return error(ParseError::InvalidLen);
        data.ts_us = (std::uint32_t{rest[0]} << 24) | (std::uint32_t{rest[1]} << 16) | (std::uint32_t{rest[2]} << 8) |
                     std::uint32_t{rest[3]};
        rest = rest.subspan(kTimestamp);
    }
    data.payload.assign(rest.begin(), rest.end());
    return ParsedFrame{total, RxFrame{std::move(data)}};
}

std::expected<ParsedFrame, ParseError> parse_text(Bytes b, char letter, std::size_t no_lf_before) {
    const Bytes searched = b.first(std::min(b.size(), kMaxTextLine));
    const auto lf = std::find(searched.begin() + static_cast<std::ptrdiff_t>(std::min(no_lf_before, searched.size())),
                              searched.end(), kLf);
    if (lf == searched.end()) {
        return error(b.size() >= kMaxTextLine ? ParseError::LineTooLong : ParseError::NeedMoreData);
    }
    const Bytes line_bytes(b.begin(), lf);
    const std::size_t consumed = line_bytes.size() + 1;
    if (!utf8::is_valid(line_bytes)) return error(ParseError::InvalidUtf8);

    std::string_view line(reinterpret_cast<const char*>(line_bytes.data()), line_bytes.size());
    while (!line.empty() && line.back() == '\r') line.remove_suffix(1);

    if (letter == 'o') {
        line.remove_prefix(3);
        std::optional<std::uint8_t> channel;
        if (auto n = parse_decimal(line, 0xFF)) channel = static_cast<std::uint8_t>(*n);
        return ParsedFrame{consumed, RxFrame{RxFrame::Ack{channel}}};
    }

    // "ar" and the letter are not white space, so they survive the trim.
    const std::string_view text = utf8::trim_end(line).substr(3);
    switch (letter) {
        case 'i': return ParsedFrame{consumed, RxFrame{RxFrame::Identify{std::string(utf8::trim(text))}}};
        case 'e': return ParsedFrame{consumed, RxFrame{RxFrame::Error{std::string(utf8::trim(text))}}};
        case 'f': return ParsedFrame{consumed, RxFrame{RxFrame::FilterAck{parse_u32_or_zero(utf8::trim(text))}}};
        case 'y': {
            const auto [first, second] = two_fields(utf8::trim_start(text));
            return ParsedFrame{consumed,
                               RxFrame{RxFrame::FastInitAck{parse_u8_or_zero(first), parse_u32_or_zero(second)}}};
        }
        default: {
            const auto [first, second] = two_fields(utf8::trim_start(text));
            return ParsedFrame{consumed,
                               RxFrame{RxFrame::AnalogReading{parse_u8_or_zero(first), parse_u32_or_zero(second)}}};
        }
    }
}

}  // namespace

std::string parse_error_text(const ParseError& e) {
    switch (e.kind) {
        case ParseError::NeedMoreData: return "NeedMoreData";
        case ParseError::BadStartMarker: return "BadStartMarker";
        case ParseError::InvalidLen: return "InvalidLen";
        case ParseError::InvalidUtf8: return "InvalidUtf8";
        case ParseError::LineTooLong: return "LineTooLong";
        case ParseError::UnknownDiscriminator: break;
    }
    return "UnknownDiscriminator(" + text::dec(e.discriminator) + ")";
}

std::expected<ParsedFrame, ParseError> parse_frame(Bytes b, std::size_t no_lf_before) {
    // The start marker is judged only once the discriminator is there too.
    if (b.size() <= 2) return error(ParseError::NeedMoreData);
    if (b[0] != 'a' || b[1] != 'r') return error(ParseError::BadStartMarker);
    const std::uint8_t d = b[2];
    if (d >= '0' && d <= '9') {
        if (const ProtocolFacts* protocol = protocol_on_channel(d - '0')) return parse_data(b, d, protocol->can);
    }
    switch (d) {
        case 'o':
        case 'i':
        case 'e':
        case 'f':
        case 'y':
        case 'r': return parse_text(b, static_cast<char>(d), no_lf_before);
        default: return std::unexpected(ParseError{ParseError::UnknownDiscriminator, d});
    }
}

DataKind data_kind_of(std::uint8_t status) {
    switch (status & 0xF5) {
        case 0x00: return DataKind::Normal;
        case 0x10: return DataKind::TxDone;
        case 0x20: return DataKind::TxLoopback;
        case 0x40: return DataKind::RxEnd;
        case 0x44: return DataKind::RxEndExtended;
        case 0x60: return DataKind::LoopbackEnd;
        case 0x80: return DataKind::NormalStart;
        case 0xA0: return DataKind::TxLoopbackStart;
        default: return DataKind::other(status);
    }
}

namespace utf8 {

namespace {

bool is_continuation(std::uint8_t byte) { return (byte & 0xC0) == 0x80; }

// Length of the well-formed sequence at bytes[pos], or 0 if it is malformed.
std::size_t sequence_length(const std::uint8_t* bytes, std::size_t size, std::size_t pos) {
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

const std::uint8_t* raw(std::string_view text) { return reinterpret_cast<const std::uint8_t*>(text.data()); }

}  // namespace

bool is_valid(std::span<const std::uint8_t> bytes) {
    std::size_t pos = 0;
    while (pos < bytes.size()) {
        const std::size_t length = sequence_length(bytes.data(), bytes.size(), pos);
        if (length == 0) return false;
        pos += length;
    }
    return true;
}

bool is_whitespace(char32_t code) {
    return (code >= 0x09 && code <= 0x0D) || code == 0x20 || code == 0x85 || code == 0xA0 || code == 0x1680 ||
           (code >= 0x2000 && code <= 0x200A) || code == 0x2028 || code == 0x2029 || code == 0x202F || code == 0x205F ||
           code == 0x3000;
}

std::optional<char32_t> decode_next(std::string_view text, std::size_t& pos) {
    const std::uint8_t* bytes = raw(text);
    const std::size_t length = sequence_length(bytes, text.size(), pos);
    if (length == 0) {
        ++pos;
        return std::nullopt;
    }
    char32_t code = length == 1 ? bytes[pos] : bytes[pos] & (0x7F >> length);
    for (std::size_t i = 1; i < length; ++i) code = (code << 6) | (bytes[pos + i] & 0x3F);
    pos += length;
    return code;
}

std::string_view trim_start(std::string_view text) {
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t next = pos;
        const auto code = decode_next(text, next);
        if (!code || !is_whitespace(*code)) break;
        pos = next;
    }
    return text.substr(pos);
}

std::string_view trim_end(std::string_view text) {
    const std::uint8_t* bytes = raw(text);
    std::size_t end = text.size();
    while (end > 0) {
        std::size_t start = end - 1;
        while (start > 0 && is_continuation(bytes[start])) --start;
        std::size_t next = start;
        const auto code = decode_next(text, next);
        if (!code || next != end || !is_whitespace(*code)) break;
        end = start;
    }
    return text.substr(0, end);
}

std::string_view trim(std::string_view text) { return trim_end(trim_start(text)); }

}  // namespace utf8

}  // namespace vexo::tactrix
