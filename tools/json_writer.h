#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vexo::tools {

// Builds compact JSON text. Commas are placed by the writer; the caller pairs begin/end and puts a key
// before every value inside an object.
class JsonWriter {
public:
    JsonWriter& begin_object();
    JsonWriter& end_object();
    JsonWriter& begin_array();
    JsonWriter& end_array();
    JsonWriter& key(std::string_view name);

    JsonWriter& string(std::string_view text);
    JsonWriter& number(std::int64_t value);
    JsonWriter& unsigned_number(std::uint64_t value);
    // An already formatted number such as "12.35", written without quotes.
    JsonWriter& number_text(std::string_view digits);
    JsonWriter& boolean(bool value);
    JsonWriter& null();

    const std::string& text() const { return text_; }

private:
    void before_value();

    std::string text_;
    // One entry per open container: whether it already holds an element.
    std::vector<bool> has_element_;
    bool after_key_ = false;
};

// A JSON string literal, quotes included. Control characters are escaped and invalid UTF-8 bytes
// become U+FFFD, so text from a device can never break the document.
std::string json_quote(std::string_view text);

}  // namespace vexo::tools
