#pragma once

#include <cstdint>
#include <expected>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

// The requests of one `vexo uds` session: from the command line, split at "--", or from a script.
namespace vexo::tools {

using Request = std::vector<std::uint8_t>;

// "10 03 -- 27 01" is two requests. A failure names the word that is not hexadecimal bytes.
std::expected<std::vector<Request>, std::string> requests_from_words(std::span<const std::string_view> words);

// One line of a script: nullopt for a blank or comment-only line.
std::expected<std::optional<Request>, std::string> request_from_line(std::string_view line);

// One request per line; "#" starts a comment and blank lines are skipped. A failure names the line.
std::expected<std::vector<Request>, std::string> requests_from_script(std::string_view text);

// The answer as text where it holds a readable run (4 or more printable ASCII characters), with "."
// for every other byte, so a VIN read by 22 F190 shows as "b..1VXDM5SM8N0004217"; else "".
std::string printable_text(std::span<const std::uint8_t> bytes);

}  // namespace vexo::tools
