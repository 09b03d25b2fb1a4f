#include "tactrix/frame_receiver.h"

#include <array>

#include "core/diagnostic_log.h"
#include "tactrix/frames.h"
#include "tactrix/tactrix_device.h"

namespace vexo::tactrix {

namespace {

using Clock = std::chrono::steady_clock;
constexpr std::size_t kReadSize = 512;

// One bulk read into the buffer; logged when anything arrived.
VoidResult read_more(TactrixDevice& device, std::chrono::nanoseconds timeout, bool log) {
    if (!device.transport) return fail(PassThruError::device_not_open());
    std::array<std::uint8_t, kReadSize> buffer;
    auto received = bulk_read(*device.transport, buffer, timeout);
    if (!received) return fail(PassThruError::transport(received.error()));
    const auto bytes = std::span<const std::uint8_t>(buffer).first(*received);
    if (!bytes.empty()) {
        if (log) log_hex_dump("tactrix RX wire", bytes);
        device.rx_buffer.append(bytes);
    }
    return {};
}

}  // namespace

Result<RxFrame> receive_frame(TactrixDevice& device, std::chrono::nanoseconds limit) {
    const auto deadline = Clock::now() + limit;
    auto parsed = parse_frame(device.rx_buffer.bytes());
    while (!parsed) {
        if (parsed.error().kind != ParseError::NeedMoreData) {
            const std::string text = parse_error_text(parsed.error());
            device.last_detail = "Tactrix parser desync: " + text;
            driver_log("tactrix parser desync: " + text + ", dropping 1 byte");
            if (!device.rx_buffer.empty()) {
                device.rx_buffer.consume(1);
                parsed = parse_frame(device.rx_buffer.bytes());
                continue;
            }
        }
        const auto remaining = deadline - Clock::now();
        if (remaining <= Clock::duration::zero()) return fail(PassThruError::timeout());
        if (auto read = read_more(device, remaining, true); !read) return fail(read.error());
        parsed = parse_frame(device.rx_buffer.bytes());
    }
    auto [consumed, frame] = std::move(*parsed);
    device.rx_buffer.consume(consumed);
    driver_log("tactrix RX frame: " + frame_text(frame));
    return std::move(frame);
}

Result<std::vector<std::uint8_t>> read_exact(TactrixDevice& device, std::size_t n) {
    const auto deadline = Clock::now() + std::chrono::seconds(2);
    while (device.rx_buffer.size() < n) {
        const auto remaining = deadline - Clock::now();
        if (remaining <= Clock::duration::zero()) return fail(PassThruError::timeout());
        if (auto read = read_more(device, remaining, false); !read) return fail(read.error());
    }
    return device.rx_buffer.take_front(n);
}

VoidResult poll_cable(TactrixDevice& device) {
    auto read = read_more(device, std::chrono::milliseconds(1), true);
    if (!read && read.error().is_timeout()) return {};
    return read;
}

}  // namespace vexo::tactrix
