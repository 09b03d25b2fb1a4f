#include "json_writer.h"

namespace vexo::tools {

namespace {

constexpr char kHex[] = "0123456789abcdef";

// Length of the well-formed UTF-8 sequence starting at text[pos], or 0 when it is not one.
std::size_t utf8_sequence_length(std::string_view text, std::size_t pos) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(pos);
    std::size_t length = 0;
    unsigned char min_second = 0x80;
    unsigned char max_second = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0) min_second = 0xA0;  // overlong
        if (lead == 0xED) max_second = 0x9F;  // surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0) min_second = 0x90;  // overlong
        if (lead == 0xF4) max_second = 0x8F;  // above U+10FFFF
    } else {
        return 0;
    }
    if (pos + length > text.size()) return 0;
    if (byte(pos + 1) < min_second || byte(pos + 1) > max_second) return 0;
    for (std::size_t i = 2; i < length; ++i) {
        if (byte(pos + i) < 0x80 || byte(pos + i) > 0xBF) return 0;
    }
    return length;
}

}  // namespace

std::string json_quote(std::string_view text) {
    std::string out;
    out.reserve(text.size() + 2);
    out += '"';
    std::size_t pos = 0;
    while (pos < text.size()) {
        const auto c = static_cast<unsigned char>(text[pos]);
        if (c >= 0x80) {
            const std::size_t length = utf8_sequence_length(text, pos);
            if (length == 0) {
                out += "\\ufffd";
                ++pos;
            } else {
                out.append(text.substr(pos, length));
                pos += length;
            }
            continue;
        }
        switch (c) {
            case '"': out += "\\\""; break;
            case '\\': out += "\\\\"; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            case '\t': out += "\\t"; break;
            case '\b': out += "\\b"; break;
            case '\f': out += "\\f"; break;
            default:
                if (c < 0x20 || c == 0x7F) {
                    out += "\\u00";
                    out += kHex[c >> 4];
                    out += kHex[c & 0xF];
                } else {
                    out += static_cast<char>(c);
                }
        }
        ++pos;
    }
    out += '"';
    return out;
}

void JsonWriter::before_value() {
    if (after_key_) {
        after_key_ = false;
        return;
    }
    if (!has_element_.empty()) {
        if (has_element_.back()) text_ += ',';
        has_element_.back() = true;
    }
}

JsonWriter& JsonWriter::begin_object() {
    before_value();
    text_ += '{';
    has_element_.push_back(false);
    return *this;
}

JsonWriter& JsonWriter::end_object() {
    text_ += '}';
    if (!has_element_.empty()) has_element_.pop_back();
    return *this;
}

JsonWriter& JsonWriter::begin_array() {
    before_value();
    text_ += '[';
    has_element_.push_back(false);
    return *this;
}

JsonWriter& JsonWriter::end_array() {
    text_ += ']';
    if (!has_element_.empty()) has_element_.pop_back();
    return *this;
}

JsonWriter& JsonWriter::key(std::string_view name) {
    before_value();
    text_ += json_quote(name);
    text_ += ':';
    after_key_ = true;
    return *this;
}

JsonWriter& JsonWriter::string(std::string_view text) {
    before_value();
    text_ += json_quote(text);
    return *this;
}

JsonWriter& JsonWriter::number(std::int64_t value) {
    before_value();
    text_ += std::to_string(value);
    return *this;
}

JsonWriter& JsonWriter::unsigned_number(std::uint64_t value) {
    before_value();
    text_ += std::to_string(value);
    return *this;
}

JsonWriter& JsonWriter::number_text(std::string_view digits) {
    before_value();
    text_ += digits;
    return *this;
}

JsonWriter& JsonWriter::boolean(bool value) {
    before_value();
    text_ += value ? "true" : "false";
    return *this;
}

JsonWriter& JsonWriter::null() {
    before_value();
    text_ += "null";
    return *this;
}

}  // namespace vexo::tools
