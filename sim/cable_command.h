#pragma once

#include <cstddef>
#include <cstdint>
#include <expected>
#include <string_view>
#include <vector>

// One command line as the cable reads it: "at", a letter, decimal fields, CR LF.
namespace vexo::sim {

struct CommandLine {
    char letter = 0;
    std::vector<std::uint32_t> fields;
};

enum class CommandError {
    UnknownCommand,  // not "at" plus a letter the cable knows
    Malformed,       // wrong field count, bad number, missing CR
    BadLength,       // a payload length the cable would never buffer
};

// Error texts the cable answers with, each sent as "are<text>\r\n".
namespace error_text {
inline constexpr std::string_view unknown_command = "unknown command";
inline constexpr std::string_view malformed = "malformed command";
inline constexpr std::string_view bad_length = "invalid message length";
inline constexpr std::string_view line_too_long = "line too long";
inline constexpr std::string_view channel_not_open = "channel not open";
inline constexpr std::string_view invalid_channel = "invalid channel";
inline constexpr std::string_view invalid_filter = "invalid filter";
}  // namespace error_text

std::string_view error_text_of(CommandError error);

// Longest line the cable buffers before giving up on it; the longest valid one is about 30 bytes.
inline constexpr std::size_t max_line_bytes = 64;
// Payload lengths beyond this are refused outright, so a bad length cannot swallow the stream.
inline constexpr std::size_t max_payload_bytes = 65535;

// Parses a complete line including its CR LF.
std::expected<CommandLine, CommandError> parse_command(std::string_view line);

// Bytes of binary payload that follow the line: att and aty their length field,
// atf the mask and pattern (and flow-control bytes for type 3).
std::size_t payload_length(const CommandLine& command);

}  // namespace vexo::sim
