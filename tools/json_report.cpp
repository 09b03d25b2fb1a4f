#include "json_report.h"

#include <charconv>

namespace vexo::tools {

Json json_report(std::string_view command, bool ok) {
    Json json;
    json["schema"] = kJsonSchema;
    json["command"] = command;
    json["ok"] = ok;
    return json;
}

Json json_report(Command command, bool ok) { return json_report(command_name(command), ok); }

Json json_decimal(std::string_view digits) {
    const char* end = digits.data() + digits.size();
    if (digits.find('.') == std::string_view::npos) {
        std::int64_t whole = 0;
        if (std::from_chars(digits.data(), end, whole).ptr == end) return whole;
    }
    double value = 0;
    if (std::from_chars(digits.data(), end, value).ptr == end) return value;
    return nullptr;
}

std::string json_line(const Json& json) { return json.dump(-1, ' ', false, Json::error_handler_t::replace) + "\n"; }

}  // namespace vexo::tools
