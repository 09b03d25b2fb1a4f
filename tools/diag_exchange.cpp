#include "diag_exchange.h"

#include <algorithm>
#include <chrono>

#include "console.h"
#include "core/text_format.h"
#include "obd_addressing.h"
#include "obd_decode.h"

namespace vexo::tools {

namespace {

using Clock = std::chrono::steady_clock;

// A short read keeps Ctrl-C responsive while waiting.
constexpr std::uint32_t kReadSliceMs = 100;
// PassThruReadMsgs waits until it has as many messages as asked for: asking for one hands the answer
// over the moment it arrives, so the time shown for an exchange is the ECU's, not the slice's.
constexpr std::uint32_t kReadBatch = 1;
// How long an ECU that answered "response pending" may take at least (ISO 14229's P2* default).
constexpr std::chrono::milliseconds kPendingWait{5000};
// How long after one part of an answer the next may come: ISO 14230's P2 is at most 50 ms, and the
// cable's own latency comes on top.
constexpr std::chrono::milliseconds kNextPartWait{200};

std::uint32_t read_slice(Clock::time_point until) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now()).count();
    return static_cast<std::uint32_t>(std::clamp<long long>(left, 1, kReadSliceMs));
}

}  // namespace

IsoTpLink iso_tp_link(const Options& options) {
    const bool extended = options.ids_29bit || needs_29bit(options.tx_id) || needs_29bit(options.rx_id);
    const std::uint32_t flow_id = options.functional ? physical_request_id(options.rx_id, extended) : options.tx_id;
    return {options.tx_id, options.rx_id, flow_id, extended};
}

std::vector<std::uint8_t> can_id_bytes(std::uint32_t id) {
    return {static_cast<std::uint8_t>(id >> 24), static_cast<std::uint8_t>(id >> 16),
            static_cast<std::uint8_t>(id >> 8), static_cast<std::uint8_t>(id)};
}

std::uint32_t can_id_of(std::span<const std::uint8_t> data) {
    if (data.size() < 4) return 0;
    return (std::uint32_t{data[0]} << 24) | (std::uint32_t{data[1]} << 16) | (std::uint32_t{data[2]} << 8) | data[3];
}

VoidResult connect_iso15765(Session& session, const IsoTpLink& link, std::uint32_t baud) {
    if (auto connected = session.connect(ISO15765, link.extended ? CAN_29BIT_ID : 0, baud); !connected)
        return connected;
    if (auto filter = start_flow_control(session, 0xFFFFFFFF, link.response_id, link.flow_id, link.extended); !filter)
        return filter;
    return session.clear_rx_buffer();
}

VoidResult start_flow_control(Session& session, std::uint32_t mask, std::uint32_t pattern, std::uint32_t flow_id,
                              bool extended) {
    const std::uint32_t tx_flags = ISO15765_FRAME_PAD | (extended ? CAN_29BIT_ID : 0u);
    const std::vector<std::uint8_t> flow = can_id_bytes(flow_id);
    auto filter = session.start_filter(FLOW_CONTROL_FILTER, can_id_bytes(mask), can_id_bytes(pattern),
                                       std::span<const std::uint8_t>(flow), tx_flags);
    if (!filter) return std::unexpected(filter.error());
    return {};
}

std::string no_answer_text(std::span<const std::uint8_t> request, const std::string& from, std::uint32_t timeout_ms) {
    return "no answer to " + text::byte_list(request.first(std::min<std::size_t>(request.size(), 4))) +
           (request.size() > 4 ? " .." : "") + " from " + from + " within " + std::to_string(timeout_ms) + " ms";
}

Result<std::vector<EcuAnswer>> collect_answers(Session& session, std::span<const std::uint8_t> request,
                                               std::size_t echo_length, std::uint32_t timeout_ms,
                                               const AnswerOf& answer_of, std::span<const std::uint32_t> expected,
                                               std::chrono::milliseconds settle) {
    std::vector<EcuAnswer> answers;
    const auto answered = [&](std::uint32_t ecu) {
        return std::any_of(answers.begin(), answers.end(), [ecu](const EcuAnswer& a) { return a.ecu == ecu; });
    };
    const auto awaited = [&](std::uint32_t ecu) {
        return expected.empty() || std::find(expected.begin(), expected.end(), ecu) != expected.end();
    };
    const auto complete = [&] {
        return !expected.empty() && std::all_of(expected.begin(), expected.end(), answered);
    };
    auto deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
    while (!complete()) {
        if (interrupt_requested()) return interrupted_failure();
        if (Clock::now() >= deadline) break;
        auto messages = session.read(kReadBatch, read_slice(deadline));
        if (!messages) return std::unexpected(messages.error());
        for (const ReceivedMessage& message : *messages) {
            auto answer = answer_of(message);
            if (!answer || !awaited(answer->ecu) || answered(answer->ecu)) continue;
            switch (classify_response(request, echo_length, answer->payload)) {
                case ResponseKind::Positive:
                case ResponseKind::Negative:
                    // Nobody says how many ECUs hear a broadcast: the others get a moment after the first.
                    if (expected.empty() && answers.empty()) deadline = std::min(deadline, Clock::now() + settle);
                    answer->at = Clock::now();
                    answers.push_back(std::move(*answer));
                    break;
                case ResponseKind::Pending:
                    deadline = std::max(deadline, Clock::now() + std::max<Clock::duration>(
                                                                     std::chrono::milliseconds(timeout_ms), kPendingWait));
                    break;
                case ResponseKind::Unrelated: break;
            }
        }
    }
    return answers;
}

Result<std::vector<std::uint8_t>> await_answer(Session& session, std::span<const std::uint8_t> request,
                                               std::size_t echo_length, std::uint32_t timeout_ms,
                                               const PayloadOf& payload_of, const std::string& from) {
    const AnswerOf answer_of = [&payload_of](const ReceivedMessage& message) -> std::optional<EcuAnswer> {
        auto payload = payload_of(message);
        if (!payload) return std::nullopt;
        return EcuAnswer{.ecu = 0, .payload = std::move(*payload)};
    };
    const std::uint32_t only_sender = 0;
    auto answers = collect_answers(session, request, echo_length, timeout_ms, answer_of, std::span(&only_sender, 1));
    if (!answers) return std::unexpected(answers.error());
    if (answers->empty()) return tool_failure(no_answer_text(request, from, timeout_ms));
    return std::move(answers->front().payload);
}

Result<std::vector<std::vector<std::uint8_t>>> await_parts(Session& session, std::span<const std::uint8_t> request,
                                                           std::size_t echo_length, std::uint32_t timeout_ms,
                                                           const PayloadOf& payload_of, const std::string& from) {
    auto first = await_answer(session, request, echo_length, timeout_ms, payload_of, from);
    if (!first) return std::unexpected(first.error());
    std::vector<std::vector<std::uint8_t>> parts{std::move(*first)};
    if (parts.front().front() == kNegativeResponse) return parts;
    for (auto quiet_until = Clock::now() + kNextPartWait; Clock::now() < quiet_until;) {
        if (interrupt_requested()) return interrupted_failure();
        auto messages = session.read(kReadBatch, read_slice(quiet_until));
        if (!messages) return std::unexpected(messages.error());
        for (const ReceivedMessage& message : *messages) {
            auto payload = payload_of(message);
            if (!payload || classify_response(request, echo_length, *payload) != ResponseKind::Positive) continue;
            parts.push_back(std::move(*payload));
            quiet_until = Clock::now() + kNextPartWait;
        }
    }
    return parts;
}

Iso15765Message iso15765_message(std::uint32_t to, bool extended, std::span<const std::uint8_t> request) {
    std::vector<std::uint8_t> data = can_id_bytes(to);
    data.insert(data.end(), request.begin(), request.end());
    return {std::move(data), ISO15765_FRAME_PAD | (extended ? CAN_29BIT_ID : 0u)};
}

VoidResult send_iso15765(Session& session, std::uint32_t to, bool extended, std::span<const std::uint8_t> request,
                         std::uint32_t timeout_ms) {
    const Iso15765Message message = iso15765_message(to, extended, request);
    return session.write(message.data, message.tx_flags, timeout_ms);
}

std::optional<EcuAnswer> iso15765_answer(const ReceivedMessage& message) {
    if (message.data.size() <= 4) return std::nullopt;
    return EcuAnswer{.ecu = can_id_of(message.data) & kMax29BitId,
                     .payload = std::vector<std::uint8_t>(message.data.begin() + 4, message.data.end())};
}

}  // namespace vexo::tools
