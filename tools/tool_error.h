#pragma once

#include <cstdint>
#include <expected>
#include <string>

namespace vexo::tools {

// Why a command stopped. A failed J2534 call fills `call` and `status` and carries the library's own
// PassThruGetLastError text; the tool's own failures (no response, bad data) leave `call` empty.
struct ToolError {
    std::string call;
    std::uint32_t status = 0;
    std::string text;
    std::string hint;
    bool interrupted = false;
    bool usage = false;  // the command line asked for something that cannot be: exit status 2
};

template <class T>
using Result = std::expected<T, ToolError>;
using VoidResult = std::expected<void, ToolError>;

inline std::unexpected<ToolError> tool_failure(std::string text) {
    return std::unexpected(
        ToolError{.call = {}, .status = 0, .text = std::move(text), .hint = {}, .interrupted = false, .usage = false});
}

inline std::unexpected<ToolError> usage_failure(std::string text) {
    return std::unexpected(
        ToolError{.call = {}, .status = 0, .text = std::move(text), .hint = {}, .interrupted = false, .usage = true});
}

inline std::unexpected<ToolError> interrupted_failure() {
    return std::unexpected(ToolError{.call = {}, .status = 0, .text = "interrupted", .hint = {}, .interrupted = true, .usage = false});
}

// The standard's name of a J2534 status code ("ERR_TIMEOUT"); unknown codes read "status 0x2A".
std::string status_name(std::uint32_t status);

}  // namespace vexo::tools
