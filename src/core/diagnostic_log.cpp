#include "core/diagnostic_log.h"

#include <algorithm>

#include "core/text_format.h"
#include "platform/debug_output.h"
#include "platform/log_file.h"

namespace vexo {

namespace {
constexpr std::size_t kHexDumpLimit = 48;
constexpr std::string_view kDriverPrefix = "[tactrix] ";
constexpr std::string_view kEllipsisSuffix = " \xE2\x80\xA6";  // blank and U+2026
}  // namespace

void log_line(std::string_view text) {
    // A trace must never take the call it traces down with it, not even on exhaustion.
    try {
        platform::debug_output(text);
        platform::append_log_line(text);
    } catch (...) {
    }
}

void driver_log(std::string_view text) {
    try {
        std::string line;
        line.reserve(kDriverPrefix.size() + text.size());
        line.append(kDriverPrefix).append(text);
        log_line(line);
    } catch (...) {
    }
}

void log_hex_dump(std::string_view label, std::span<const std::uint8_t> bytes) {
    try {
        const auto shown = bytes.first(std::min(bytes.size(), kHexDumpLimit));
        std::string line;
        line.reserve(label.size() + 24 + shown.size() * 3 + kEllipsisSuffix.size());
        line.append(label).append(": ").append(text::dec(bytes.size())).append(" bytes [");
        line.append(text::byte_list(shown));
        if (bytes.size() > kHexDumpLimit) line.append(kEllipsisSuffix);
        line.push_back(']');
        driver_log(line);
    } catch (...) {
    }
}

}  // namespace vexo
