#include "uds_requests.h"

#include <algorithm>

#include "hex_text.h"

namespace vexo::tools {

namespace {

std::unexpected<std::string> failure(std::string text) { return std::unexpected(std::move(text)); }

// The services whose second byte is a sub-function, bit 7 of which suppresses the positive answer:
// session control, reset, security access, communication control, authentication, dynamically
// defined identifiers, routine control, tester present, timing, DTC setting, events, link control.
constexpr std::uint8_t kWithSubFunction[] = {0x10, 0x11, 0x27, 0x28, 0x29, 0x2C, 0x31, 0x3E, 0x83, 0x85, 0x86, 0x87};
constexpr std::uint8_t kSuppressPositiveResponse = 0x80;

std::string too_long(std::size_t size) {
    return "a request holds at most " + std::to_string(kMaxUdsRequest) + " bytes, not " + std::to_string(size);
}

}  // namespace

std::expected<std::vector<Request>, std::string> requests_from_words(std::span<const std::string_view> words) {
    std::vector<Request> requests(1);
    for (const std::string_view word : words) {
        if (word == "--") {
            if (requests.back().empty()) return failure("uds: an empty request before '--'");
            requests.emplace_back();
            continue;
        }
        const auto bytes = parse_hex_bytes(word);
        if (!bytes) return failure("uds needs hexadecimal bytes, not '" + std::string(word) + "'");
        requests.back().insert(requests.back().end(), bytes->begin(), bytes->end());
    }
    if (requests.back().empty()) {
        if (requests.size() == 1) return failure("uds needs the request as hexadecimal bytes, e.g. 'uds 22 F1 90'");
        return failure("uds: an empty request after '--'");
    }
    for (const Request& request : requests) {
        if (request.size() > kMaxUdsRequest) return failure("uds: " + too_long(request.size()));
    }
    return requests;
}

std::expected<std::optional<Request>, std::string> request_from_line(std::string_view line) {
    line = line.substr(0, line.find('#'));
    const std::size_t first = line.find_first_not_of(" \t\r");
    if (first == std::string_view::npos) return std::optional<Request>{};
    line = line.substr(first, line.find_last_not_of(" \t\r") + 1 - first);
    const auto bytes = parse_hex_bytes(line);
    if (!bytes || bytes->empty()) return failure("not hexadecimal bytes: '" + std::string(line) + "'");
    if (bytes->size() > kMaxUdsRequest) return failure(too_long(bytes->size()));
    return std::optional<Request>(*bytes);
}

std::expected<std::vector<Request>, std::string> requests_from_script(std::string_view text) {
    std::vector<Request> requests;
    std::size_t line_number = 0;
    while (!text.empty()) {
        ++line_number;
        const std::size_t end = text.find('\n');
        const auto request = request_from_line(text.substr(0, end));
        if (!request) return failure("line " + std::to_string(line_number) + ": " + request.error());
        if (*request) requests.push_back(**request);
        text = end == std::string_view::npos ? std::string_view{} : text.substr(end + 1);
    }
    return requests;
}

bool suppresses_positive_response(std::span<const std::uint8_t> request) {
    return request.size() >= 2 && (request[1] & kSuppressPositiveResponse) != 0 &&
           std::find(std::begin(kWithSubFunction), std::end(kWithSubFunction), request[0]) !=
               std::end(kWithSubFunction);
}

std::string printable_text(std::span<const std::uint8_t> bytes) {
    constexpr std::size_t kReadableRun = 4;
    std::string text;
    std::size_t run = 0;
    std::size_t longest = 0;
    for (const std::uint8_t byte : bytes) {
        const bool printable = byte >= 0x20 && byte < 0x7F;
        run = printable ? run + 1 : 0;
        longest = std::max(longest, run);
        text += printable ? static_cast<char>(byte) : '.';
    }
    return longest >= kReadableRun ? text : std::string{};
}

}  // namespace vexo::tools
