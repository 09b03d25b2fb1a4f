#include <algorithm>

#include "core/text_format.h"
#include "core/utf8.h"
#include "tactrix/frames.h"

namespace vexo::tactrix {

namespace {

// Payload bytes shown in a Data line; the rest is hinted at with " …".
constexpr std::size_t kPayloadShown = 24;

bool in(char32_t c, char32_t low, char32_t high) { return c >= low && c <= high; }

// Control, format, separator (but the blank), private-use and non-characters: what would
// hide, move or garble the rest of a log line.
bool is_printable(char32_t c) {
    if (c < 0x20 || in(c, 0x7F, 0x9F)) return false;
    if (c == 0xA0 || c == 0xAD || c == 0x1680 || in(c, 0x2000, 0x200F) || in(c, 0x2028, 0x202F) ||
        in(c, 0x205F, 0x206F) || c == 0x3000 || c == 0xFEFF || in(c, 0xFFF9, 0xFFFB)) {
        return false;
    }
    if (in(c, 0x0600, 0x0605) || c == 0x061C || c == 0x06DD || c == 0x070F || c == 0x08E2 || c == 0x180E) return false;
    if (in(c, 0xE000, 0xF8FF) || in(c, 0xF0000, 0x10FFFF)) return false;
    if (in(c, 0xFDD0, 0xFDEF) || (c & 0xFFFE) == 0xFFFE) return false;
    if (c == 0x110BD || c == 0x110CD || in(c, 0x13430, 0x1343F) || in(c, 0x1BCA0, 0x1BCA3) || in(c, 0x1D173, 0x1D17A) ||
        in(c, 0xE0000, 0xE007F)) {
        return false;
    }
    return true;
}

std::string channel_text(const std::optional<std::uint8_t>& channel) {
    return channel ? "Some(" + text::dec(*channel) + ")" : "None";
}

std::string data_text(const RxFrame::Data& d) {
    const std::size_t shown = std::min(d.payload.size(), kPayloadShown);
    std::string out = "Data(proto=0x" + text::hex_byte(d.proto) + " kind=" + data_kind_text(d.kind) +
                      " ts_us=" + text::dec(d.ts_us) + " len=" + text::dec(d.payload.size()) + " payload=[" +
                      text::byte_list(std::span(d.payload).first(shown));
    if (d.payload.size() > kPayloadShown) out += " \u2026";
    out += "])";
    return out;
}

template <class... F>
struct Overload : F... {
    using F::operator()...;
};

}  // namespace

std::string data_kind_text(DataKind kind) {
    switch (kind.tag()) {
        case DataKind::Normal: return "Normal";
        case DataKind::TxDone: return "TxDone";
        case DataKind::TxLoopback: return "TxLoopback";
        case DataKind::RxEnd: return "RxEnd";
        case DataKind::RxEndExtended: return "RxEndExtended";
        case DataKind::LoopbackEnd: return "LoopbackEnd";
        case DataKind::NormalStart: return "NormalStart";
        case DataKind::TxLoopbackStart: return "TxLoopbackStart";
        case DataKind::Other: break;
    }
    return "Other(" + text::dec(kind.other_status()) + ")";
}

std::string quoted_text(std::string_view text) {
    std::string out = "\"";
    out.reserve(text.size() + 2);
    std::size_t pos = 0;
    while (pos < text.size()) {
        const std::size_t start = pos;
        const auto code = utf8::decode_next(text, pos);
        if (!code) {
            // Frames carry valid UTF-8; anything else shows as the replacement character.
            out += "\uFFFD";
            continue;
        }
        switch (*code) {
            case '"': out += "\\\""; break;
            case '\\': out += "\\\\"; break;
            case '\r': out += "\\r"; break;
            case '\n': out += "\\n"; break;
            case '\t': out += "\\t"; break;
            case '\0': out += "\\0"; break;
            default:
                if (is_printable(*code)) {
                    out.append(text.substr(start, pos - start));
                } else {
                    out += "\\u{" + vexo::text::hex(*code) + "}";
                }
        }
    }
    out += '"';
    return out;
}

std::string frame_text(const RxFrame& frame) {
    return std::visit(Overload{
                          [](const RxFrame::Ack& f) { return "Ack(channel=" + channel_text(f.channel) + ")"; },
                          [](const RxFrame::Identify& f) { return "Identify(" + quoted_text(f.text) + ")"; },
                          [](const RxFrame::Error& f) { return "Error(" + quoted_text(f.text) + ")"; },
                          [](const RxFrame::FilterAck& f) { return "FilterAck(id=" + text::dec(f.id) + ")"; },
                          [](const RxFrame::FastInitAck& f) {
                              return "FastInitAck(channel=" + text::dec(f.channel) + " len=" + text::dec(f.len) + ")";
                          },
                          [](const RxFrame::AnalogReading& f) {
                              return "AnalogReading(pin=" + text::dec(f.pin) + " mV=" + text::dec(f.mV) + ")";
                          },
                          [](const RxFrame::Data& f) { return data_text(f); },
                      },
                      frame.value);
}

}  // namespace vexo::tactrix
