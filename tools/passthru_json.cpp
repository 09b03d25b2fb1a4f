#include "passthru_json.h"

#include <nlohmann/json.hpp>

#include "core/discovery.h"
#include "core/protocols.h"
#include "library_location.h"

namespace vexo::tools {

namespace {

// One key a line, as people write these files by hand.
constexpr int kIndent = 2;

nlohmann::ordered_json leading_keys() {
    nlohmann::ordered_json json;
    json["NAME"] = kDiscoveryName;
    json["VENDOR"] = kDiscoveryVendor;
    return json;
}

std::string text_of(const nlohmann::ordered_json& json) {
    return json.dump(kIndent, ' ', false, nlohmann::ordered_json::error_handler_t::replace) + "\n";
}

// The file's text up to its third key: the lines that say vexo wrote it.
std::string leading_lines() {
    const std::string whole = text_of(leading_keys());
    return whole.substr(0, whole.rfind('\n', whole.size() - 2)) + ",\n";
}

}  // namespace

std::string passthru_json(const std::filesystem::path& function_library) {
    nlohmann::ordered_json json = leading_keys();
    json["FUNCTION_LIB"] = path_text(function_library);
    for (const ProtocolFacts& protocol : kProtocols) json[std::string(protocol.name)] = protocol.carried();
    return text_of(json);
}

bool is_vexo_passthru_json(std::string_view text) { return text.starts_with(leading_lines()); }

}  // namespace vexo::tools
