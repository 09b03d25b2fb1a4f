#include "tactrix/frames.h"

#include <algorithm>
#include <optional>
#include <string_view>

#include "core/protocols.h"
#include "core/text_format.h"
#include "core/utf8.h"

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

}  // namespace vexo::tactrix
