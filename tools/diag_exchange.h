#pragma once

#include <chrono>
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
// control to flow_id, which is the answering ECU's physical request ID even when the request itself
// is functional.
struct IsoTpLink {
    std::uint32_t request_id;
    std::uint32_t response_id;
    std::uint32_t flow_id;
    bool extended;  // 29-bit identifiers
};

IsoTpLink iso_tp_link(const Options& options);

// Connects ISO15765, installs the flow-control filter for the link and drops anything received before.
VoidResult connect_iso15765(Session& session, const IsoTpLink& link, std::uint32_t baud);
// Lets through answers from the IDs that equal `pattern` under `mask`, and has the library send their flow
// control to `flow_id`.
VoidResult start_flow_control(Session& session, std::uint32_t mask, std::uint32_t pattern, std::uint32_t flow_id,
                              bool extended);

// The 4-byte big-endian CAN ID field that leads every CAN and ISO15765 message.
std::vector<std::uint8_t> can_id_bytes(std::uint32_t id);
std::uint32_t can_id_of(std::span<const std::uint8_t> data);

// The service data of a received message if it belongs to the conversation, else nullopt.
using PayloadOf = std::function<std::optional<std::vector<std::uint8_t>>(const ReceivedMessage&)>;

// One ECU's final answer, positive or negative; `ecu` is the ID it answered from, `at` when.
struct EcuAnswer {
    std::uint32_t ecu;
    std::vector<std::uint8_t> payload;
    std::chrono::steady_clock::time_point at{};
};
// The sender and service data of a received message if it may answer, else nullopt.
using AnswerOf = std::function<std::optional<EcuAnswer>(const ReceivedMessage&)>;

// Reads the answers to `request` (see classify_response for `echo_length`) until each sender in `expected`
// has given its final one, or, with `expected` empty, until `settle` has passed after the first answer;
// senders still silent when the time is up are missing from the result. "Response pending" answers extend
// the wait. Ctrl-C ends it.
Result<std::vector<EcuAnswer>> collect_answers(Session& session, std::span<const std::uint8_t> request,
                                               std::size_t echo_length, std::uint32_t timeout_ms,
                                               const AnswerOf& answer_of, std::span<const std::uint32_t> expected,
                                               std::chrono::milliseconds settle = {});

// The text of a request that got no answer: "no answer to 09 02 from 7E8 within 1000 ms".
std::string no_answer_text(std::span<const std::uint8_t> request, const std::string& from, std::uint32_t timeout_ms);

// Reads until the answer to `request` arrives: a positive answer or a final negative one is returned, and
// the caller tells them apart. `from` names the sender in the time-out text.
Result<std::vector<std::uint8_t>> await_answer(Session& session, std::span<const std::uint8_t> request,
                                               std::size_t echo_length, std::uint32_t timeout_ms,
                                               const PayloadOf& payload_of, const std::string& from);

// await_answer, then the further parts of a positive answer that follow it closely, as a K-line ECU
// sends a VIN (09 02) in five messages. The first part comes first.
Result<std::vector<std::vector<std::uint8_t>>> await_parts(Session& session, std::span<const std::uint8_t> request,
                                                           std::size_t echo_length, std::uint32_t timeout_ms,
                                                           const PayloadOf& payload_of, const std::string& from);

// The ISO15765 message that carries `request` (service byte first, never empty) to CAN ID `to`.
struct Iso15765Message {
    std::vector<std::uint8_t> data;
    std::uint32_t tx_flags;
};
Iso15765Message iso15765_message(std::uint32_t to, bool extended, std::span<const std::uint8_t> request);
// Sends it on the ISO15765 channel.
VoidResult send_iso15765(Session& session, std::uint32_t to, bool extended, std::span<const std::uint8_t> request,
                         std::uint32_t timeout_ms);
// The sender and service data of a received ISO15765 message; nullopt when it holds no data.
std::optional<EcuAnswer> iso15765_answer(const ReceivedMessage& message);

}  // namespace vexo::tools
