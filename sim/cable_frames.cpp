#include "sim/cable_frames.h"

#include <algorithm>
#include <stdexcept>
#include <string>

namespace vexo::sim {

namespace {

Bytes text_frame(char letter, std::string_view text) {
    // Sized once up front: growing a 3-byte vector by insert trips GCC 12's -Warray-bounds at -O3.
    Bytes out;
    out.reserve(3 + text.size() + 2);
    out.push_back('a');
    out.push_back('r');
    out.push_back(static_cast<std::uint8_t>(letter));
    out.insert(out.end(), text.begin(), text.end());
    out.push_back('\r');
    out.push_back('\n');
    return out;
}

void put_be32(Bytes& out, std::uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<std::uint8_t>(value >> shift));
}

}  // namespace

void append(Bytes& out, std::span<const std::uint8_t> tail) { out.insert(out.end(), tail.begin(), tail.end()); }

Bytes to_bytes(std::string_view text) { return Bytes(text.begin(), text.end()); }

Bytes data_frame(std::uint8_t channel, std::uint8_t status, std::span<const std::uint8_t> payload,
                 std::uint32_t ts_us) {
    if (!is_cable_channel(channel)) throw std::invalid_argument("data frame on a channel the cable does not have");
    if (payload.size() > max_frame_payload(channel)) throw std::length_error("data frame payload too long");
    const bool stamped = is_can_channel(channel);
    const std::size_t length = 1 + (stamped ? 4 : 0) + payload.size();
    Bytes out{'a', 'r', static_cast<std::uint8_t>('0' + channel), static_cast<std::uint8_t>(length), status};
    out.reserve(4 + length);
    if (stamped) put_be32(out, ts_us);
    append(out, payload);
    return out;
}

Bytes ack_frame() { return text_frame('o', {}); }
Bytes ack_frame(std::uint8_t channel) { return text_frame('o', std::to_string(channel)); }
Bytes identify_frame(std::string_view identity) { return text_frame('i', identity); }
Bytes error_frame(std::string_view text) { return text_frame('e', text); }
Bytes filter_ack_frame(std::uint32_t id) { return text_frame('f', std::to_string(id)); }

Bytes fast_init_ack_frame(std::uint8_t channel, std::uint32_t len) {
    return text_frame('y', std::to_string(channel) + ' ' + std::to_string(len));
}

Bytes analog_frame(std::uint8_t pin, std::uint32_t millivolts) {
    return text_frame('r', std::to_string(pin) + ' ' + std::to_string(millivolts));
}

Bytes can_message_frames(std::uint8_t channel, std::uint32_t can_id, std::span<const std::uint8_t> data,
                         std::uint32_t ts_us, MessageStatuses statuses) {
    Bytes out;
    std::size_t offset = 0;
    do {
        const std::size_t take = std::min(can_chunk_bytes, data.size() - offset);
        const bool last = offset + take == data.size();
        Bytes chunk;
        chunk.reserve(4 + take);
        put_be32(chunk, can_id);
        append(chunk, data.subspan(offset, take));
        append(out, data_frame(channel, last ? statuses.end : statuses.middle, chunk, ts_us));
        offset += take;
    } while (offset < data.size());
    return out;
}

Bytes kline_message_frames(std::uint8_t channel, std::span<const std::uint8_t> data, MessageStatuses statuses) {
    Bytes out = data_frame(channel, statuses.start, {});
    const std::size_t room = max_frame_payload(channel);
    for (std::size_t offset = 0; offset < data.size(); offset += room)
        append(out, data_frame(channel, statuses.middle, data.subspan(offset, std::min(room, data.size() - offset))));
    append(out, data_frame(channel, statuses.end, {}));
    return out;
}

Bytes loopback_frames(std::uint8_t channel, std::span<const std::uint8_t> transmitted, std::uint32_t ts_us) {
    if (!is_can_channel(channel)) return kline_message_frames(channel, transmitted, looped_back);
    std::uint32_t can_id = 0;
    for (std::uint8_t byte : transmitted.first(4)) can_id = can_id << 8 | byte;
    return can_message_frames(channel, can_id, transmitted.subspan(4), ts_us, looped_back);
}

Bytes tx_done_frame(std::uint8_t channel, std::span<const std::uint8_t> transmitted, std::uint32_t ts_us) {
    if (!is_can_channel(channel)) return data_frame(channel, status::tx_done, {});
    return data_frame(channel, status::tx_done, transmitted.first(std::min<std::size_t>(4, transmitted.size())), ts_us);
}

}  // namespace vexo::sim
