#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "command_line.h"
#include "passthru_session.h"
#include "tool_error.h"

namespace vexo::tools {

// Addressing of one ISO15765 conversation. Answers come from response_id; the library sends flow
// control to flow_id, which is the physical request ID even when the request itself is functional.
struct IsoTpLink {
    std::uint32_t request_id;
    std::uint32_t response_id;
    std::uint32_t flow_id;
    bool extended;  // 29-bit identifiers
};

IsoTpLink iso_tp_link(const Options& options);

// Connects ISO15765, installs the flow-control filter for the link and drops anything received before.
VoidResult connect_iso15765(Session& session, const IsoTpLink& link, std::uint32_t baud);

// The 4-byte big-endian CAN ID field that leads every CAN and ISO15765 message.
std::vector<std::uint8_t> can_id_bytes(std::uint32_t id);
std::uint32_t can_id_of(std::span<const std::uint8_t> data);

// The service data of a received message if it belongs to the conversation, else nullopt.
using PayloadOf = std::function<std::optional<std::vector<std::uint8_t>>(const ReceivedMessage&)>;

// Reads until the answer to `request` arrives (see classify_response for `echo_length`): a positive
// answer or a final negative one is returned, and the caller tells them apart. "Response pending" answers
// extend the wait. `from` names the sender in the time-out text. Ctrl-C ends the wait.
Result<std::vector<std::uint8_t>> await_answer(Session& session, std::span<const std::uint8_t> request,
                                               std::size_t echo_length, std::uint32_t timeout_ms,
                                               const PayloadOf& payload_of, const std::string& from);

// Sends `request` (service byte first, never empty) over the link and waits for its answer.
Result<std::vector<std::uint8_t>> iso15765_request(Session& session, const IsoTpLink& link,
                                                   std::span<const std::uint8_t> request, std::size_t echo_length,
                                                   std::uint32_t timeout_ms);

}  // namespace vexo::tools
