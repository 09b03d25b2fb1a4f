#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "core/device.h"
#include "vexo/j2534.h"

// PASSTHRU_MSG <-> Message. DataSize is clamped to the Data capacity in both directions, so a
// wrong DataSize can never reach past the record.
namespace vexo::api {

Message message_from_passthru(const PASSTHRU_MSG& in);
// Converts count records one by one, growing as it goes rather than trusting count up front.
std::vector<Message> messages_from_passthru(const PASSTHRU_MSG* in, std::uint32_t count);
// Writes the header fields and the first min(length, 4128) data bytes; the rest of Data is left alone.
void message_to_passthru(const Message& in, PASSTHRU_MSG& out);

// Byte list of at most the first max_bytes bytes: "07 E8 03".
std::string leading_bytes_text(std::span<const std::uint8_t> bytes, std::size_t max_bytes);

}  // namespace vexo::api
