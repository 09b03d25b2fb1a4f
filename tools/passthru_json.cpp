#include "passthru_json.h"

#include "core/discovery.h"
#include "core/protocols.h"
#include "json_writer.h"
#include "library_location.h"

namespace vexo::tools {

namespace {

std::string leading_lines() {
    return "{\n  \"NAME\": " + json_quote(kDiscoveryName) + ",\n  \"VENDOR\": " + json_quote(kDiscoveryVendor) + ",\n";
}

}  // namespace

std::string passthru_json(const std::filesystem::path& function_library) {
    std::string text = leading_lines() + "  \"FUNCTION_LIB\": " + json_quote(path_text(function_library));
    for (const ProtocolFacts& protocol : kProtocols) {
        text += ",\n  " + json_quote(protocol.name) + ": " + (protocol.carried() ? "true" : "false");
    }
    return text + "\n}\n";
}

bool is_vexo_passthru_json(std::string_view text) { return text.starts_with(leading_lines()); }

}  // namespace vexo::tools
