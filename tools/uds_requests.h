#pragma once

#include <cstdint>
#include <expected>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "tool_error.h"

// The requests of one `vexo uds` session: from the command line, split at "--", or from a script; what
// each asks of the answer; and the keys a user's command computes for security access.
namespace vexo::tools {

using Request = std::vector<std::uint8_t>;

// What ISO 15765-2 carries in one message.
inline constexpr std::size_t kMaxUdsRequest = 4095;

// "10 03 -- 27 01" is two requests. A failure names the word that is not hexadecimal bytes, or the
// request that is too long to send.
std::expected<std::vector<Request>, std::string> requests_from_words(std::span<const std::string_view> words);

// One line of a script: nullopt for a blank or comment-only line.
std::expected<std::optional<Request>, std::string> request_from_line(std::string_view line);

// One request per line; "#" starts a comment and blank lines are skipped. A failure names the line.
std::expected<std::vector<Request>, std::string> requests_from_script(std::string_view text);

// Whether the request sets the suppress-positive-response bit (80 of the sub-function byte) of a
// service that has one: 10 83 wants no answer unless it is a refusal; 22 F1 90 has no sub-function.
bool suppresses_positive_response(std::span<const std::uint8_t> request);

// The answer as text where it holds a readable run (4 or more printable ASCII characters), with "."
// for every other byte, so a VIN read by 22 F190 shows as "b..1VXDM5SM8N0004217"; else "".
std::string printable_text(std::span<const std::uint8_t> bytes);

// --key-cmd: runs `command` through the shell with the seed on its input as one line of hexadecimal
// ("1234"), and takes the key from its output (hexadecimal bytes, blanks allowed). The algorithm stays
// the user's: vexo never knows it.
Result<std::vector<std::uint8_t>> key_from_command(const std::string& command, std::span<const std::uint8_t> seed);

}  // namespace vexo::tools
