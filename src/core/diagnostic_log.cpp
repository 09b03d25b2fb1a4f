#include "core/diagnostic_log.h"

#include <algorithm>
#include <mutex>

#include "core/passthru_error.h"
#include "core/text_format.h"
#include "platform/trace_output.h"

namespace vexo {

namespace {
constexpr std::size_t kHexDumpLimit = 48;
constexpr std::string_view kDriverPrefix = "[tactrix] ";
constexpr std::string_view kEllipsisSuffix = " \xE2\x80\xA6";  // blank and U+2026

std::mutex sink_mutex;

DebugSink& sink() {
    static DebugSink instance;
    return instance;
}

void tell_sink(std::string_view text) {
    std::lock_guard lock(sink_mutex);
    if (sink()) sink()(text);
}

// A trace must never take the call it traces down with it, not even on exhaustion.
template <class Body>
void quietly(Body&& body) {
    contain_faults(body, [](const std::exception*) {});
}

}  // namespace

void set_debug_sink(DebugSink s) {
    std::lock_guard lock(sink_mutex);
    sink() = std::move(s);
}

void log_line(std::string_view text) {
    quietly([&] {
        platform::debug_output(text);
        tell_sink(text);
        platform::append_log_line(text);
    });
}

void driver_log(std::string_view text) {
    quietly([&] {
        std::string line;
        line.reserve(kDriverPrefix.size() + text.size());
        line.append(kDriverPrefix).append(text);
        log_line(line);
    });
}

void log_hex_dump(std::string_view label, std::span<const std::uint8_t> bytes) {
    quietly([&] {
        const auto shown = bytes.first(std::min(bytes.size(), kHexDumpLimit));
        std::string line;
        line.reserve(label.size() + 24 + shown.size() * 3 + kEllipsisSuffix.size());
        line.append(label).append(": ").append(text::dec(bytes.size())).append(" bytes [");
        line.append(text::byte_list(shown));
        if (bytes.size() > kHexDumpLimit) line.append(kEllipsisSuffix);
        line.push_back(']');
        driver_log(line);
    });
}

}  // namespace vexo
