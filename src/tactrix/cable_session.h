#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "core/passthru_error.h"
#include "tactrix/frames.h"
#include "tactrix/usb_transport.h"

namespace vexo::tactrix {

inline constexpr std::chrono::seconds kCommandTimeout{2};
inline constexpr std::chrono::seconds kReplyWindow{2};
// Vehicle data met while waiting for a command's reply waits here for read_msgs.
inline constexpr std::size_t kPendingDataLimit = 65536;
// How much of what the cable already sent discard_received() reads at most, so that a busy bus
// cannot hold it.
inline constexpr std::size_t kDiscardLimit = 65536;
inline constexpr std::chrono::milliseconds kDiscardWindow{20};

// Bytes received from the cable and not yet consumed. Removal from the front only advances
// a read offset; the dead prefix is dropped once it outweighs the live bytes, so draining a
// burst frame by frame stays linear in its size.
class RxBuffer {
public:
    static constexpr std::size_t kInitialCapacity = 2048;

    RxBuffer();

    // The unconsumed bytes, oldest first. Valid until the next change.
    std::span<const std::uint8_t> bytes() const { return std::span(storage_).subspan(head_); }
    std::size_t size() const { return storage_.size() - head_; }
    bool empty() const { return size() == 0; }

    void append(std::span<const std::uint8_t> incoming);
    // Drops the first n bytes (all of them if fewer are held).
    void consume(std::size_t n);
    // Removes the first n bytes (at most size()) and returns them.
    std::vector<std::uint8_t> take_front(std::size_t n);
    void clear();

    // Bytes held in storage, consumed prefix included; lets tests see that compaction happens.
    std::size_t stored() const { return storage_.size(); }

private:
    // Below this the dead prefix is not worth a move.
    static constexpr std::size_t kCompactMinimum = 1024;

    void compact_if_worthwhile();

    std::vector<std::uint8_t> storage_;
    std::size_t head_ = 0;
};

// The conversation with one opened cable: commands out, frames in. Owns the transport, the
// bytes received but not yet parsed, and the vehicle data that arrived while a command
// waited for its reply. It also keeps the detail of the latest failure, which the device
// hands to PassThruGetLastError.
class CableSession {
public:
    // Opens the first attached cable, letting go of any cable held before, and starts with
    // nothing buffered.
    VoidResult open();
    // Lets go of the cable and of everything buffered. Sends nothing.
    void close();
    bool is_open() const { return transport_.has_value(); }

    // Logs the bytes as "tactrix TX wire", then writes all of them, giving every transfer the
    // whole time-out again. A transfer that takes nothing fails. When a failure leaves the
    // command cut short, its unsent rest goes out first with the next command sent to the
    // cable (by any session), and that command's answer line, if it has one, is dropped.
    VoidResult send(std::span<const std::uint8_t> bytes, std::chrono::nanoseconds timeout = kCommandTimeout);

    // The next frame from the cable: parsed from what is buffered, reading more (512 bytes at
    // a time) until `limit` has passed. Garbage is dropped in runs, one log line for each run of
    // bytes dropped for the same reason.
    Result<RxFrame> receive(std::chrono::nanoseconds limit);
    // The next frame for a reader of vehicle data: what was kept during replies comes first.
    Result<RxFrame> next_frame(std::chrono::nanoseconds limit);
    bool has_pending() const { return !pending_data_.empty(); }
    // Exactly n raw, unframed bytes, buffered bytes first, within 2 seconds.
    Result<std::vector<std::uint8_t>> read_exact(std::size_t n);
    // One read of the shortest time-out, for a caller that must not wait.
    VoidResult poll();
    // Drops everything received and not yet read: the frames kept during replies, the buffered
    // bytes, and what the cable has already sent, read without waiting for more, up to
    // kDiscardLimit bytes or kDiscardWindow. A frame still arriving is kept whole.
    VoidResult discard_received();

    // Reads frames for up to the reply window until `accept` takes one. An Error frame ends
    // the wait with "{rejected} (are {text})"; vehicle data is kept for read_msgs; anything
    // else is dropped. `accept` returns the reply's value, or nothing for a frame it does not want.
    template <class Accept>
    auto await_reply(std::string_view rejected, Accept accept)
        -> Result<typename std::invoke_result_t<Accept, const RxFrame&>::value_type>;
    Result<std::string> await_identify();
    Result<std::optional<std::uint8_t>> await_ack();
    Result<std::uint32_t> await_filter_ack();

    // Keeps a data frame that arrived while a command waited for its reply.
    void keep_pending(RxFrame::Data frame);

    const std::string& detail() const { return detail_; }
    void note(std::string detail) { detail_ = std::move(detail); }

    // For tests: the bytes buffered but not yet parsed, and the frames kept for read_msgs.
    std::span<const std::uint8_t> buffered() const { return rx_buffer_.bytes(); }
    std::size_t pending_count() const { return pending_data_.size(); }

private:
    // One bulk read into the buffer; logged when asked and anything arrived.
    VoidResult read_more(std::chrono::nanoseconds timeout, bool log);
    VoidResult write_all(std::span<const std::uint8_t> bytes, std::chrono::nanoseconds timeout, char letter,
                         bool continuing);
    VoidResult finish_interrupted(std::chrono::nanoseconds timeout);
    // Drops n bytes from the front of the buffer, which starts the next line search over.
    void consume(std::size_t n);

    std::optional<UsbTransport> transport_;
    RxBuffer rx_buffer_;
    std::size_t no_lf_before_ = 0;  // the buffer's first bytes hold no LF (see parse_frame)
    std::deque<RxFrame::Data> pending_data_;
    std::uint64_t dropped_data_ = 0;
    std::string detail_;
};

template <class Accept>
auto CableSession::await_reply(std::string_view rejected, Accept accept)
    -> Result<typename std::invoke_result_t<Accept, const RxFrame&>::value_type> {
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + kReplyWindow;
    for (;;) {
        const auto remaining = deadline - Clock::now();
        if (remaining <= Clock::duration::zero()) return fail(PassThruError::timeout());
        auto frame = receive(remaining);
        if (!frame) return fail(frame.error());
        if (auto value = accept(*frame)) return std::move(*value);
        if (const auto* error = frame->as<RxFrame::Error>()) {
            detail_ = std::string(rejected) + " (are " + error->text + ")";
            return fail(PassThruError::internal(detail_));
        }
        if (auto* data = frame->as<RxFrame::Data>()) keep_pending(std::move(*data));
    }
}

}  // namespace vexo::tactrix
