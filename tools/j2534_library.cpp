#include "j2534_library.h"

#include <climits>

#include "library_location.h"
#include "tool_error.h"
#include "vexo/j2534.h"

namespace vexo::tools {

Result<J2534Library> J2534Library::load(const std::filesystem::path& path, Abi abi) {
    auto library = DynamicLibrary::load(path, false);
    if (!library) return tool_failure("cannot load J2534 library: " + library.error());
    auto calls = abi == Abi::Fixed32 ? fixed32_layout::bind(*library) : platform_layout::bind(*library);
    if (!calls) return tool_failure(path_text(path) + " is not a J2534 04.04 library: it lacks " + calls.error());
    return J2534Library(path, abi, std::move(*calls));
}

std::string J2534Library::last_error_text() const {
    std::string text;
    const std::uint32_t status = calls_->get_last_error(text);
    if (status != STATUS_NOERROR) return "(PassThruGetLastError failed: " + status_name(status) + ")";
    return text.empty() ? "(no description)" : text;
}

ToolError J2534Library::call_failure(std::string_view call, std::uint32_t status) const {
    return ToolError{
        .call = std::string(call), .status = status, .text = last_error_text(), .hint = {}, .interrupted = false};
}

std::string abi_text(Abi abi) {
    if (abi == Abi::Fixed32) return "fixed32 (32-bit fields)";
    return "platform (unsigned long: " + std::to_string(sizeof(unsigned long) * CHAR_BIT) + "-bit fields)";
}

}  // namespace vexo::tools
