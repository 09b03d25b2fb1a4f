#include "sim/cable_command.h"

#include <algorithm>
#include <charconv>
#include <optional>

namespace vexo::sim {

namespace {

// Field counts per command letter; -1 for letters the cable does not know.
int field_count(char letter) {
    switch (letter) {
        case 'i':
        case 'a':
        case 'z': return 0;
        case 'c':
        case 'r': return 1;
        case 't':
        case 's':
        case 'y': return 3;
        case 'o':
        case 'f': return 4;
        default: return -1;
    }
}

std::optional<std::uint32_t> parse_field(std::string_view text) {
    if (text.empty()) return std::nullopt;
    for (const char c : text)
        if (c < '0' || c > '9') return std::nullopt;
    std::uint32_t value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc{} || end != text.data() + text.size()) return std::nullopt;
    return value;
}

}  // namespace

std::string_view error_text_of(CommandError error) {
    switch (error) {
        case CommandError::UnknownCommand: return error_text::unknown_command;
        case CommandError::Malformed: return error_text::malformed;
        case CommandError::BadLength: return error_text::bad_length;
    }
    return error_text::malformed;
}

std::expected<CommandLine, CommandError> parse_command(std::string_view line) {
    if (line.size() < 3 || line.substr(0, 2) != "at") return std::unexpected(CommandError::UnknownCommand);
    const int count = field_count(line[2]);
    if (count < 0) return std::unexpected(CommandError::UnknownCommand);
    if (!line.ends_with("\r\n")) return std::unexpected(CommandError::Malformed);

    CommandLine command{line[2], {}};
    std::string_view rest = line.substr(3, line.size() - 5);
    // "atr" alone puts a blank before its first field.
    if (command.letter == 'r') {
        if (!rest.starts_with(' ')) return std::unexpected(CommandError::Malformed);
        rest.remove_prefix(1);
    }
    if (count == 0) {
        if (!rest.empty()) return std::unexpected(CommandError::Malformed);
        return command;
    }
    for (int i = 0; i < count; ++i) {
        const std::size_t blank = rest.find(' ');
        const bool last = i + 1 == count;
        if (last != (blank == std::string_view::npos)) return std::unexpected(CommandError::Malformed);
        const auto value = parse_field(rest.substr(0, blank));
        if (!value) return std::unexpected(CommandError::Malformed);
        command.fields.push_back(*value);
        if (!last) rest.remove_prefix(blank + 1);
    }
    if (payload_length(command) > max_payload_bytes) return std::unexpected(CommandError::BadLength);
    return command;
}

std::size_t payload_length(const CommandLine& command) {
    switch (command.letter) {
        case 't':
        case 'y': return command.fields[1];
        case 'f': {
            const std::uint64_t length = command.fields[3];
            const std::uint64_t total = length * (command.fields[1] == 3 ? 3 : 2);
            // Clamped so the product cannot wrap where size_t is 32 bits wide.
            return static_cast<std::size_t>(std::min<std::uint64_t>(total, max_payload_bytes + 1));
        }
        default: return 0;
    }
}

}  // namespace vexo::sim
