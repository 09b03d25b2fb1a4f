#include "can_log_format.h"

#include "core/text_format.h"

namespace vexo::tools {

namespace {

// "0012.345678": at least four digits of seconds, as candump's own relative times.
std::string seconds_text(std::uint64_t us, std::size_t min_digits) {
    std::string seconds = std::to_string(us / 1000000);
    if (seconds.size() < min_digits) seconds.insert(0, min_digits - seconds.size(), '0');
    std::string micros = std::to_string(us % 1000000);
    micros.insert(0, 6 - micros.size(), '0');
    return seconds + "." + micros;
}

}  // namespace

std::string table_line(std::uint64_t time_us, std::uint32_t id, bool wide, std::span<const std::uint8_t> data) {
    return "(" + seconds_text(time_us, 4) + ")  " + text::hex_upper(id, wide ? 8 : 3) + "   [" +
           std::to_string(data.size()) + "]  " + text::byte_list(data) + "\n";
}

std::string candump_log_line(std::uint64_t unix_us, std::uint32_t id, bool wide, std::span<const std::uint8_t> data) {
    return "(" + seconds_text(unix_us, 1) + ") " + kCandumpInterface + " " + text::hex_upper(id, wide ? 8 : 3) + "#" +
           text::byte_list(data, "") + "\n";
}

}  // namespace vexo::tools
