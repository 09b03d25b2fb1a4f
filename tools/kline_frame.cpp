#include "kline_frame.h"

namespace vexo::tools {

namespace {

constexpr std::uint8_t kFunctionalAddressing = 0xC0;
constexpr std::uint8_t kAddressModeMask = 0xC0;
constexpr std::uint8_t kLengthMask = 0x3F;
constexpr std::uint8_t kStartCommunicationPositive = kStartCommunication + 0x40;

std::optional<std::array<std::uint8_t, 2>> keys_after_c1(std::span<const std::uint8_t> data) {
    if (data.size() < 3 || data[0] != kStartCommunicationPositive) return std::nullopt;
    return std::array<std::uint8_t, 2>{data[1], data[2]};
}

}  // namespace

std::vector<std::uint8_t> kline_request(std::uint8_t target, std::uint8_t source,
                                        std::span<const std::uint8_t> service) {
    std::vector<std::uint8_t> frame;
    frame.reserve(service.size() + 3);
    frame.push_back(static_cast<std::uint8_t>(kFunctionalAddressing | (service.size() & kLengthMask)));
    frame.push_back(target);
    frame.push_back(source);
    frame.insert(frame.end(), service.begin(), service.end());
    return frame;
}

std::optional<std::vector<std::uint8_t>> kline_payload(std::span<const std::uint8_t> frame) {
    if (frame.empty()) return std::nullopt;
    const std::uint8_t format = frame[0];
    std::size_t pos = 1;
    if ((format & kAddressModeMask) != 0) pos += 2;
    std::size_t length = format & kLengthMask;
    if (length == 0) {
        if (frame.size() <= pos) return std::nullopt;
        length = frame[pos++];
    }
    if (frame.size() < pos + length) return std::nullopt;
    return std::vector<std::uint8_t>(frame.begin() + static_cast<std::ptrdiff_t>(pos),
                                     frame.begin() + static_cast<std::ptrdiff_t>(pos + length));
}

std::optional<std::array<std::uint8_t, 2>> start_communication_key_bytes(std::span<const std::uint8_t> response) {
    if (const auto payload = kline_payload(response)) {
        if (auto keys = keys_after_c1(*payload)) return keys;
    }
    return keys_after_c1(response);
}

}  // namespace vexo::tools
