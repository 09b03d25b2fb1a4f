#include "api/message_marshalling.h"

#include <algorithm>
#include <cstring>

#include "core/text_format.h"

namespace vexo::api {

namespace {
constexpr std::uint32_t kReserveLimit = 1024;
}

Message message_from_passthru(const PASSTHRU_MSG& in) {
    const std::uint32_t size = std::min(in.DataSize, PASSTHRU_MSG_DATA_SIZE);
    return Message{
        .data = std::vector<std::uint8_t>(in.Data, in.Data + size),
        .protocol_id = in.ProtocolID,
        .rx_status = in.RxStatus,
        .tx_flags = in.TxFlags,
        .timestamp = in.Timestamp,
        .extra_data_index = in.ExtraDataIndex,
    };
}

std::vector<Message> messages_from_passthru(const PASSTHRU_MSG* in, std::uint32_t count) {
    std::vector<Message> out;
    out.reserve(std::min(count, kReserveLimit));
    for (std::uint32_t i = 0; i < count; ++i) out.push_back(message_from_passthru(in[i]));
    return out;
}

void message_to_passthru(const Message& in, PASSTHRU_MSG& out) {
    const auto size = static_cast<std::uint32_t>(std::min<std::size_t>(in.data.size(), PASSTHRU_MSG_DATA_SIZE));
    out.ProtocolID = in.protocol_id;
    out.RxStatus = in.rx_status;
    out.TxFlags = in.tx_flags;
    out.Timestamp = in.timestamp;
    out.DataSize = size;
    out.ExtraDataIndex = in.extra_data_index;
    if (size != 0) std::memcpy(out.Data, in.data.data(), size);
}

std::string leading_bytes_text(std::span<const std::uint8_t> bytes, std::size_t max_bytes) {
    return text::byte_list(bytes.first(std::min(bytes.size(), max_bytes)));
}

}  // namespace vexo::api
