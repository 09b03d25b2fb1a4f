#include "tactrix/cable_session.h"

#include <algorithm>
#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "core/diagnostic_log.h"
#include "core/text_format.h"

namespace vexo::tactrix {

namespace {

using Clock = std::chrono::steady_clock;
constexpr std::size_t kReadSize = 512;
// Long enough for a cable to hand over what it holds, short enough not to wait for more.
constexpr std::chrono::milliseconds kDiscardRead{5};

// A command whose write failed part-way: the bytes the cable's parser still waits for, and
// the command's letter. The parser outlives the session and the device (the "atz" of
// PassThruClose can be the one cut short), so this is kept for the process; sessions only
// run under the device slot lock.
struct InterruptedCommand {
    std::vector<std::uint8_t> tail;
    char letter = 0;
};

InterruptedCommand& interrupted_command() {
    static InterruptedCommand* const command = new InterruptedCommand;
    return *command;
}

char command_letter(std::span<const std::uint8_t> command) {
    return command.size() > 2 && command[0] == 'a' && command[1] == 't' ? static_cast<char>(command[2]) : '\0';
}

// Commands the cable answers with a line: "atz" closes silently, and "att" is answered with
// a data frame that reading messages handles.
bool answered_with_line(char letter) { return std::string_view("iaocfsry").find(letter) != std::string_view::npos; }

// Bytes dropped in a row for one reason: one log line when the run ends.
class DesyncRun {
public:
    DesyncRun(const DesyncRun&) = delete;
    DesyncRun& operator=(const DesyncRun&) = delete;
    DesyncRun() = default;
    ~DesyncRun() { end(); }

    // Returns the detail text when a new run starts.
    std::optional<std::string> add(const ParseError& error, std::size_t dropped) {
        std::string reason = parse_error_text(error);
        if (dropped_ != 0 && reason == reason_) {
            dropped_ += dropped;
            return std::nullopt;
        }
        end();
        reason_ = std::move(reason);
        dropped_ = dropped;
        return "Tactrix parser desync: " + reason_;
    }
    void end() {
        if (dropped_ == 0) return;
        driver_log("tactrix parser desync: " + reason_ + ", dropping " + text::dec(dropped_) +
                   (dropped_ == 1 ? " byte" : " bytes"));
        dropped_ = 0;
    }

private:
    std::string reason_;
    std::size_t dropped_ = 0;
};

// How many bytes from the front go for one parse failure. A frame or line that cannot be read
// loses its first byte; bytes that cannot start a frame go together, up to the next "ar" or a
// last 'a' that may begin one, so garbage costs one move of the buffer per run.
std::size_t drop_length(std::span<const std::uint8_t> bytes, ParseError::Kind kind) {
    if (kind != ParseError::BadStartMarker) return 1;
    for (std::size_t i = 1; i < bytes.size(); ++i) {
        if (bytes[i] == 'a' && (i + 1 == bytes.size() || bytes[i + 1] == 'r')) return i;
    }
    return bytes.size();
}

bool cable_gone(const PassThruError& error) {
    const TransportError* transport = error.transport_error();
    if (transport == nullptr) return false;
    const UsbErrorKind* usb = transport->usb_kind();
    return transport->kind() == TransportError::Kind::Disconnected ||
           (usb != nullptr && *usb == UsbErrorKind::NoDevice);
}

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
    close();
    auto opened = open_usb(kTactrixVendorId, kTactrixProductId);
    if (!opened) {
        detail_ = "open USB device: " + opened.error().message();
        return fail(PassThruError::transport(opened.error()));
    }
    transport_.emplace(std::move(*opened));
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
    // Never a new command while the cable's parser is inside an old one: it would read the
    // new command as the old one's rest, or as vehicle data to put on the bus.
    if (transport_ && !interrupted_command().tail.empty()) {
        if (auto finished = finish_interrupted(timeout); !finished) return finished;
    }
    log_hex_dump("tactrix TX wire", bytes);
    if (!transport_) return fail(PassThruError::device_not_open());
    return write_all(bytes, timeout, command_letter(bytes), false);
}

VoidResult CableSession::write_all(std::span<const std::uint8_t> bytes, std::chrono::nanoseconds timeout, char letter,
                                   bool continuing) {
    std::size_t sent = 0;
    while (sent < bytes.size()) {
        std::size_t moved = 0;
        const auto accepted = bulk_write(*transport_, bytes.subspan(sent), timeout, &moved);
        auto failure = accepted ? std::optional<PassThruError>() : PassThruError::transport(accepted.error());
        if (accepted && *accepted == 0) {
            failure = PassThruError::transport(TransportError::io("Tactrix bulk write returned 0 bytes"));
        }
        if (!failure) {
            sent += *accepted;
            continue;
        }
        sent += moved;
        // A cable that is gone starts its next life with an empty parser.
        if ((sent > 0 || continuing) && !cable_gone(*failure)) {
            const auto rest = bytes.subspan(sent);
            interrupted_command() = {std::vector<std::uint8_t>(rest.begin(), rest.end()), letter};
        }
        return fail(std::move(*failure));
    }
    return {};
}

VoidResult CableSession::finish_interrupted(std::chrono::nanoseconds timeout) {
    InterruptedCommand cut = std::exchange(interrupted_command(), {});
    driver_log("finishing a command cut short: " + text::dec(cut.tail.size()) + " bytes left");
    log_hex_dump("tactrix TX wire", cut.tail);
    if (auto sent = write_all(cut.tail, timeout, cut.letter, true); !sent) {
        detail_ = "the command before could not be finished: " + sent.error().message();
        return sent;
    }
    if (!answered_with_line(cut.letter)) return {};
    // Its answer belongs to no one waiting now; vehicle data that comes first is kept.
    const auto deadline = Clock::now() + std::min<std::chrono::nanoseconds>(timeout, kReplyWindow);
    for (;;) {
        const auto remaining = deadline - Clock::now();
        if (remaining <= Clock::duration::zero()) return {};
        auto frame = receive(remaining);
        if (!frame) return {};
        if (auto* data = frame->as<RxFrame::Data>()) {
            keep_pending(std::move(*data));
            continue;
        }
        if (const auto* fast_init = frame->as<RxFrame::FastInitAck>(); fast_init != nullptr && fast_init->len != 0) {
            (void)read_exact(fast_init->len);
        }
        return {};
    }
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
    DesyncRun run;
    auto parsed = parse_frame(rx_buffer_.bytes(), no_lf_before_);
    while (!parsed) {
        if (parsed.error().kind != ParseError::NeedMoreData && !rx_buffer_.empty()) {
            const std::size_t dropped = drop_length(rx_buffer_.bytes(), parsed.error().kind);
            if (auto detail = run.add(parsed.error(), dropped)) detail_ = std::move(*detail);
            consume(dropped);
            parsed = parse_frame(rx_buffer_.bytes());
            continue;
        }
        // The front stays as it is until more arrives: what was searched need not be again.
        no_lf_before_ = rx_buffer_.size();
        const auto remaining = deadline - Clock::now();
        if (remaining <= Clock::duration::zero()) return fail(PassThruError::timeout());
        if (auto read = read_more(remaining, true); !read) return fail(read.error());
        parsed = parse_frame(rx_buffer_.bytes(), no_lf_before_);
    }
    run.end();
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

VoidResult CableSession::discard_received() {
    const std::size_t kept_frames = pending_data_.size();
    pending_data_.clear();
    const auto deadline = Clock::now() + kDiscardWindow;
    std::size_t drained = 0;
    while (drained < kDiscardLimit && Clock::now() < deadline) {
        const std::size_t before = rx_buffer_.size();
        auto read = read_more(kDiscardRead, true);
        if (!read && !read.error().is_timeout()) return read;
        if (rx_buffer_.size() == before) break;
        drained += rx_buffer_.size() - before;
    }
    // Whole frames and garbage go; a frame still arriving stays, so that its rest is no garbage.
    std::size_t discarded = 0;
    for (auto parsed = parse_frame(rx_buffer_.bytes());; parsed = parse_frame(rx_buffer_.bytes())) {
        if (!parsed && parsed.error().kind == ParseError::NeedMoreData) break;
        const std::size_t n = parsed ? parsed->first : drop_length(rx_buffer_.bytes(), parsed.error().kind);
        consume(n);
        discarded += n;
    }
    driver_log("receive buffer cleared: dropped " + text::dec(discarded) + " bytes and " + text::dec(kept_frames) +
               " frames kept during replies");
    return {};
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
