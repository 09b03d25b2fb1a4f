#include "diag_exchange.h"

#include <algorithm>
#include <chrono>

#include "console.h"
#include "hex_text.h"
#include "obd_decode.h"

namespace vexo::tools {

namespace {

using Clock = std::chrono::steady_clock;

// A short read keeps Ctrl-C responsive while waiting.
constexpr std::uint32_t kReadSliceMs = 100;
constexpr std::uint32_t kReadBatch = 8;
// How long an ECU that answered "response pending" may take at least (ISO 14229's P2* default).
constexpr std::chrono::milliseconds kPendingWait{5000};

}  // namespace

IsoTpLink iso_tp_link(const Options& options) {
    const std::uint32_t flow_id = options.functional ? options.rx_id - 8 : options.tx_id;
    return {options.tx_id, options.rx_id, flow_id,
            needs_29bit(options.tx_id) || needs_29bit(options.rx_id) || needs_29bit(flow_id)};
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
    const std::uint32_t flags = link.extended ? CAN_29BIT_ID : 0;
    if (auto connected = session.connect(ISO15765, flags, baud); !connected) return connected;
    const std::vector<std::uint8_t> mask = {0xFF, 0xFF, 0xFF, 0xFF};
    const std::vector<std::uint8_t> pattern = can_id_bytes(link.response_id);
    const std::vector<std::uint8_t> flow = can_id_bytes(link.flow_id);
    const std::uint32_t tx_flags = ISO15765_FRAME_PAD | flags;
    if (auto filter =
            session.start_filter(FLOW_CONTROL_FILTER, mask, pattern, std::span<const std::uint8_t>(flow), tx_flags);
        !filter) {
        return std::unexpected(filter.error());
    }
    return session.clear_rx_buffer();
}

Result<std::vector<std::uint8_t>> await_answer(Session& session, std::span<const std::uint8_t> request,
                                               std::size_t echo_length, std::uint32_t timeout_ms,
                                               const PayloadOf& payload_of, const std::string& from) {
    auto deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
    for (;;) {
        if (interrupt_requested()) return interrupted_failure();
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0) {
            return tool_failure("no answer to " + hex_bytes(request.first(std::min<std::size_t>(request.size(), 4))) +
                                (request.size() > 4 ? " .." : "") + " from " + from + " within " +
                                std::to_string(timeout_ms) + " ms");
        }
        const auto slice = static_cast<std::uint32_t>(std::min<long long>(left, kReadSliceMs));
        auto messages = session.read(kReadBatch, slice);
        if (!messages) return std::unexpected(messages.error());
        for (const ReceivedMessage& message : *messages) {
            const auto payload = payload_of(message);
            if (!payload) continue;
            switch (classify_response(request, echo_length, *payload)) {
                case ResponseKind::Positive:
                case ResponseKind::Negative: return *payload;
                case ResponseKind::Pending:
                    deadline =
                        Clock::now() + std::max<Clock::duration>(std::chrono::milliseconds(timeout_ms), kPendingWait);
                    break;
                case ResponseKind::Unrelated: break;
            }
        }
    }
}

Result<std::vector<std::uint8_t>> iso15765_request(Session& session, const IsoTpLink& link,
                                                   std::span<const std::uint8_t> request, std::size_t echo_length,
                                                   std::uint32_t timeout_ms) {
    std::vector<std::uint8_t> data = can_id_bytes(link.request_id);
    data.insert(data.end(), request.begin(), request.end());
    const std::uint32_t tx_flags = ISO15765_FRAME_PAD | (link.extended ? CAN_29BIT_ID : 0u);
    if (auto written = session.write(data, tx_flags, timeout_ms); !written) return std::unexpected(written.error());

    const std::uint32_t response_id = link.response_id;
    const PayloadOf payload_of =
        [response_id](const ReceivedMessage& message) -> std::optional<std::vector<std::uint8_t>> {
        if (message.data.size() <= 4 || (can_id_of(message.data) & 0x1FFFFFFF) != response_id) return std::nullopt;
        return std::vector<std::uint8_t>(message.data.begin() + 4, message.data.end());
    };
    return await_answer(session, request, echo_length, timeout_ms, payload_of,
                        hex_u32(response_id, link.extended ? 8 : 3));
}

}  // namespace vexo::tools
