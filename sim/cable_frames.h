#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "core/protocols.h"

// Builders for every frame the cable sends. The firmware model uses them and so do tests
// that need exact bytes on the IN endpoint.
namespace vexo::sim {

using Bytes = std::vector<std::uint8_t>;

// Status byte values of data frames (bits 0x02 and 0x08 are ignored by the host).
namespace status {
inline constexpr std::uint8_t normal = 0x00;
inline constexpr std::uint8_t tx_done = 0x10;
inline constexpr std::uint8_t tx_loopback = 0x20;
inline constexpr std::uint8_t rx_end = 0x40;
inline constexpr std::uint8_t rx_end_extended = 0x44;
inline constexpr std::uint8_t loopback_end = 0x60;
inline constexpr std::uint8_t normal_start = 0x80;
inline constexpr std::uint8_t tx_loopback_start = 0xA0;
}  // namespace status

// The status bytes of a message's frames: one received from the bus, or the loopback of one
// transmitted, which the cable sends when the channel's LOOPBACK is on.
struct MessageStatuses {
    std::uint8_t start;
    std::uint8_t middle;
    std::uint8_t end;
};
inline constexpr MessageStatuses received{status::normal_start, status::normal, status::rx_end};
inline constexpr MessageStatuses looped_back{status::tx_loopback_start, status::tx_loopback, status::loopback_end};

// Cable channel numbers.
inline constexpr std::uint8_t iso9141_channel = carried_protocol(ISO9141)->cable_channel;
inline constexpr std::uint8_t iso14230_channel = carried_protocol(ISO14230)->cable_channel;
inline constexpr std::uint8_t can_channel = carried_protocol(CAN)->cable_channel;
inline constexpr std::uint8_t iso15765_channel = carried_protocol(ISO15765)->cable_channel;
// Channel digits run 0 to 9; the cable uses a few of them.
inline constexpr std::size_t channel_digits = 10;

constexpr bool is_cable_channel(std::uint32_t channel) { return protocol_on_channel(channel) != nullptr; }
constexpr bool is_can_channel(std::uint32_t channel) {
    const ProtocolFacts* protocol = protocol_on_channel(channel);
    return protocol != nullptr && protocol->can;
}
constexpr bool is_kline_channel(std::uint32_t channel) {
    const ProtocolFacts* protocol = protocol_on_channel(channel);
    return protocol != nullptr && !protocol->can;
}

// Largest payload one data frame carries on a channel: the length byte counts the status
// byte and, on CAN channels, the 4-byte timestamp.
constexpr std::size_t max_frame_payload(std::uint8_t channel) { return is_can_channel(channel) ? 250 : 254; }

// CAN data bytes per chunk of a received CAN or ISO15765 message.
inline constexpr std::size_t can_chunk_bytes = 8;

// "ar<digit>" L S [timestamp] payload. The timestamp is written only on the CAN channels.
// Throws std::length_error when the payload exceeds max_frame_payload(channel) and
// std::invalid_argument for a channel the cable does not have: both are caller bugs.
Bytes data_frame(std::uint8_t channel, std::uint8_t status, std::span<const std::uint8_t> payload,
                 std::uint32_t ts_us = 0);

Bytes ack_frame();                                                   // "aro\r\n"
Bytes ack_frame(std::uint8_t channel);                               // "aro<ch>\r\n"
Bytes identify_frame(std::string_view identity);                     // "ari<text>\r\n"
Bytes error_frame(std::string_view text);                            // "are<text>\r\n"
Bytes filter_ack_frame(std::uint32_t id);                            // "arf<id>\r\n"
Bytes fast_init_ack_frame(std::uint8_t channel, std::uint32_t len);  // "ary<ch> <len>\r\n"
Bytes analog_frame(std::uint8_t pin, std::uint32_t millivolts);      // "arr<pin> <mV>\r\n"

// A received CAN or ISO15765 message as the cable splits it: one chunk per 8 data bytes,
// each carrying the 4-byte CAN ID (big-endian) first; all chunks `Normal` but the last,
// which is `RxEnd`. A message without data bytes is one `RxEnd` chunk with the ID alone.
Bytes can_message_frames(std::uint8_t channel, std::uint32_t can_id, std::span<const std::uint8_t> data,
                         std::uint32_t ts_us, MessageStatuses statuses = received);

// A received K-line message: `NormalStart` without payload, the bytes in `Normal` frames
// (split when longer than one frame holds), then `RxEnd` without payload.
Bytes kline_message_frames(std::uint8_t channel, std::span<const std::uint8_t> data,
                           MessageStatuses statuses = received);

// A transmitted message echoed as a received one is framed, with the loopback statuses; on CAN
// channels its first 4 bytes are the CAN ID.
Bytes loopback_frames(std::uint8_t channel, std::span<const std::uint8_t> transmitted, std::uint32_t ts_us);

// The cable's report that a transmitted message left: on CAN channels it carries the CAN ID
// (the first 4 bytes sent, fewer if the message was shorter), on K-line channels nothing.
Bytes tx_done_frame(std::uint8_t channel, std::span<const std::uint8_t> transmitted, std::uint32_t ts_us);

// Appends `tail` to `out`.
void append(Bytes& out, std::span<const std::uint8_t> tail);
Bytes to_bytes(std::string_view text);

}  // namespace vexo::sim
