#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

#include "passthru_calls.h"
#include "tool_error.h"

namespace vexo::tools {

// A loaded J2534 04.04 library, bound in the layout the caller says it has. Stays loaded until the
// process ends.
class J2534Library {
public:
    // Fails when the file cannot be loaded or lacks any of the fourteen functions.
    static Result<J2534Library> load(const std::filesystem::path& path, Abi abi);

    const PassThruCalls& calls() const { return *calls_; }
    const std::filesystem::path& path() const { return path_; }
    Abi abi() const { return abi_; }

    // PassThruGetLastError's text, or a note when the library gives none.
    std::string last_error_text() const;
    // The error for a call that returned `status`: its name, the status and the library's text.
    ToolError call_failure(std::string_view call, std::uint32_t status) const;

private:
    J2534Library(std::filesystem::path path, Abi abi, std::unique_ptr<const PassThruCalls> calls)
        : path_(std::move(path)), abi_(abi), calls_(std::move(calls)) {}

    std::filesystem::path path_;
    Abi abi_;
    std::unique_ptr<const PassThruCalls> calls_;
};

// "platform (unsigned long: 64-bit fields)" or "fixed32 (32-bit fields)", for --version.
std::string abi_text(Abi abi);

}  // namespace vexo::tools
