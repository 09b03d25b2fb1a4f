#include "tactrix/cable_session.h"

#include <algorithm>
#include <array>

#include "core/diagnostic_log.h"
#include "core/text_format.h"

namespace vexo::tactrix {

namespace {

using Clock = std::chrono::steady_clock;
constexpr std::size_t kReadSize = 512;

}  // namespace

RxBuffer::RxBuffer() { storage_.reserve(kInitialCapacity); }

void RxBuffer::append(std::span<const std::uint8_t> incoming) {
    storage_.insert(storage_.end(), incoming.begin(), incoming.end());
}

void RxBuffer::consume(std::size_t n) {
    head_ += std::min(n, size());
    compact_if_worthwhile();
}

std::vector<std::uint8_t> RxBuffer::take_front(std::size_t n) {
    const auto front = bytes().first(std::min(n, size()));
    std::vector<std::uint8_t> out(front.begin(), front.end());
    consume(out.size());
    return out;
}

void RxBuffer::clear() {
    storage_.clear();
    head_ = 0;
}

void RxBuffer::compact_if_worthwhile() {
    if (head_ == storage_.size()) {
        clear();  // nothing live: free to start over
        return;
    }
    // Each move shifts fewer bytes than were consumed since the last one: linear overall.
    if (head_ >= kCompactMinimum && head_ * 2 >= storage_.size()) {
        storage_.erase(storage_.begin(), storage_.begin() + static_cast<std::ptrdiff_t>(head_));
        head_ = 0;
    }
}

VoidResult CableSession::open() {
    // The old transport goes first: while it holds interface 1, the cable cannot be claimed
    // again and a second open would always fail with "Resource busy".
    if (transport_) {
        close_usb(std::move(*transport_));
        transport_.reset();
    }
    auto opened = open_usb(kTactrixVendorId, kTactrixProductId);
    if (!opened) {
        detail_ = "open USB device: " + opened.error().message();
        return fail(PassThruError::transport(opened.error()));
    }
    transport_.emplace(std::move(*opened));
    rx_buffer_.clear();
    no_lf_before_ = 0;
    pending_data_.clear();
    return {};
}

void CableSession::close() {
    if (transport_) {
        close_usb(std::move(*transport_));
        transport_.reset();
    }
    rx_buffer_.clear();
    no_lf_before_ = 0;
    pending_data_.clear();
}

VoidResult CableSession::send(std::span<const std::uint8_t> bytes, std::chrono::nanoseconds timeout) {
    log_hex_dump("tactrix TX wire", bytes);
    if (!transport_) return fail(PassThruError::device_not_open());
    std::size_t sent = 0;
    while (sent < bytes.size()) {
        const auto accepted = bulk_write(*transport_, bytes.subspan(sent), timeout);
        if (!accepted) return fail(PassThruError::transport(accepted.error()));
        if (*accepted == 0) {
            return fail(PassThruError::transport(TransportError::io("Tactrix bulk write returned 0 bytes")));
        }
        sent += *accepted;
    }
    return {};
}

VoidResult CableSession::read_more(std::chrono::nanoseconds timeout, bool log) {
    if (!transport_) return fail(PassThruError::device_not_open());
    std::array<std::uint8_t, kReadSize> buffer;
    auto received = bulk_read(*transport_, buffer, timeout);
    if (!received) return fail(PassThruError::transport(received.error()));
    const auto bytes = std::span<const std::uint8_t>(buffer).first(*received);
    if (!bytes.empty()) {
        if (log) log_hex_dump("tactrix RX wire", bytes);
        rx_buffer_.append(bytes);
    }
    return {};
}

Result<RxFrame> CableSession::receive(std::chrono::nanoseconds limit) {
    const auto deadline = Clock::now() + limit;
    auto parsed = parse_frame(rx_buffer_.bytes(), no_lf_before_);
    while (!parsed) {
        if (parsed.error().kind != ParseError::NeedMoreData) {
            const std::string text = parse_error_text(parsed.error());
            detail_ = "Tactrix parser desync: " + text;
            driver_log("tactrix parser desync: " + text + ", dropping 1 byte");
            if (!rx_buffer_.empty()) {
                consume(1);
                parsed = parse_frame(rx_buffer_.bytes());
                continue;
            }
        }
        // The front stays as it is until more arrives: what was searched need not be again.
        no_lf_before_ = rx_buffer_.size();
        const auto remaining = deadline - Clock::now();
        if (remaining <= Clock::duration::zero()) return fail(PassThruError::timeout());
        if (auto read = read_more(remaining, true); !read) return fail(read.error());
        parsed = parse_frame(rx_buffer_.bytes(), no_lf_before_);
    }
    auto [consumed, frame] = std::move(*parsed);
    consume(consumed);
    driver_log("tactrix RX frame: " + frame_text(frame));
    return std::move(frame);
}

void CableSession::consume(std::size_t n) {
    rx_buffer_.consume(n);
    no_lf_before_ = 0;
}

Result<RxFrame> CableSession::next_frame(std::chrono::nanoseconds limit) {
    if (pending_data_.empty()) return receive(limit);
    RxFrame frame{std::move(pending_data_.front())};
    pending_data_.pop_front();
    return frame;
}

Result<std::vector<std::uint8_t>> CableSession::read_exact(std::size_t n) {
    const auto deadline = Clock::now() + std::chrono::seconds(2);
    while (rx_buffer_.size() < n) {
        const auto remaining = deadline - Clock::now();
        if (remaining <= Clock::duration::zero()) return fail(PassThruError::timeout());
        if (auto read = read_more(remaining, false); !read) return fail(read.error());
    }
    no_lf_before_ = 0;
    return rx_buffer_.take_front(n);
}

VoidResult CableSession::poll() {
    auto read = read_more(std::chrono::milliseconds(1), true);
    if (!read && read.error().is_timeout()) return {};
    return read;
}

Result<std::string> CableSession::await_identify() {
    return await_reply("Tactrix rejected identify", [](const RxFrame& frame) -> std::optional<std::string> {
        if (const auto* identify = frame.as<RxFrame::Identify>()) return identify->text;
        return std::nullopt;
    });
}

Result<std::optional<std::uint8_t>> CableSession::await_ack() {
    return await_reply("Tactrix rejected command",
                       [](const RxFrame& frame) -> std::optional<std::optional<std::uint8_t>> {
                           if (const auto* ack = frame.as<RxFrame::Ack>()) return ack->channel;
                           return std::nullopt;
                       });
}

Result<std::uint32_t> CableSession::await_filter_ack() {
    return await_reply("Tactrix rejected filter", [](const RxFrame& frame) -> std::optional<std::uint32_t> {
        if (const auto* ack = frame.as<RxFrame::FilterAck>()) return ack->id;
        return std::nullopt;
    });
}

void CableSession::keep_pending(RxFrame::Data frame) {
    if (pending_data_.size() >= kPendingDataLimit) {
        pending_data_.pop_front();
        ++dropped_data_;
        detail_ = "receive queue full: dropped " + text::dec(dropped_data_) +
                  " data frames that arrived during command replies";
    }
    pending_data_.push_back(std::move(frame));
}

}  // namespace vexo::tactrix
