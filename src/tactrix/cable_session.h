#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "core/passthru_error.h"
#include "tactrix/frames.h"
#include "tactrix/transmit_tracker.h"
#include "tactrix/usb_transport.h"

namespace vexo::tactrix {

inline constexpr std::chrono::seconds kCommandTimeout{2};
inline constexpr std::chrono::seconds kReplyWindow{2};
// How every command the host writes shows in the trace.
inline constexpr std::string_view kTransmitLabel = "tactrix TX wire";
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

// An "att" command, with what the tracking of its channel's transmits needs to know of it.
struct Transmit {
    std::uint8_t cable_channel = 0;
    std::size_t frames = 1;  // on the bus; more than one for a segmented ISO15765 message
    std::vector<std::uint8_t> command;
};

// What became of a transmit nobody waits for: sent; held back while a segmented transmit of its
// channel may still be on the bus; or skipped, as a command cut short waits to be finished.
enum class Unattended { Sent, Held, Skipped };

// Whether a failure means the cable is gone, not merely slow.
bool cable_gone(const PassThruError& error);

// The conversation with one opened cable: commands out, frames in. Owns the transport, the
// bytes received but not yet parsed, and the vehicle data that arrived while a command
// waited for its reply. It also keeps the detail of the latest failure, which the device
// hands to PassThruGetLastError.
// Everything runs under the device slot lock but transmit_unattended, which a thread of the
// device's own calls meanwhile: every command write, of either side, holds one process-wide lock
// for the whole command and never while waiting for a reply, and the transport is replaced only
// under that lock.
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
    // As send, for an "att" command: the transmit is counted for its channel (TransmitTracker).
    VoidResult transmit(const Transmit& transmit, std::chrono::nanoseconds timeout,
                        std::string_view label = kTransmitLabel);
    // For a thread that never reads from the cable: writes the transmit whole, logged as `label`
    // where send logs "tactrix TX wire", unless a command cut short waits to be finished (only a
    // holder of the device lock may finish it, as that reads the cable's answer) or a segmented
    // transmit of the channel may still be on the bus: then nothing is written.
    Result<Unattended> transmit_unattended(const Transmit& transmit, std::chrono::nanoseconds timeout,
                                           std::string_view label);
    // Finishes a command cut short, if one waits, as the next send would: for callers that hold
    // the device lock but send nothing, so that a transmit nobody waits for is not skipped longer.
    VoidResult finish_cut_short();
    // Whether a segmented transmit of the channel may still be on the bus.
    bool channel_busy(std::uint8_t cable_channel) { return transmits_.busy(cable_channel); }

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
    // The command whole, after any command cut short; `transmit` is counted when it reached the cable.
    VoidResult write_command(std::span<const std::uint8_t> bytes, std::chrono::nanoseconds timeout,
                             const Transmit* transmit, std::string_view label);
    VoidResult write_all(std::span<const std::uint8_t> bytes, std::chrono::nanoseconds timeout, char letter,
                         bool continuing);
    // Writes the rest of every command cut short with the write lock held, then drops its answer
    // line without it.
    VoidResult finish_interrupted(std::unique_lock<std::mutex>& write_lock, std::chrono::nanoseconds timeout);
    VoidResult finish_one_interrupted(std::unique_lock<std::mutex>& write_lock, std::chrono::nanoseconds timeout);
    // Counts a transmit whose write went out whole or was cut short after the cable took some.
    void count_transmit(const Transmit& transmit, bool written);
    // TxDone reports end the transmits they stand for.
    void note_transmit_done(const RxFrame& frame);
    // Drops n bytes from the front of the buffer, which starts the next line search over.
    void consume(std::size_t n);

    std::optional<UsbTransport> transport_;
    TransmitTracker transmits_;
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
