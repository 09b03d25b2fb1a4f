#include "api/marshalling.h"

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
    // An index past the data would lead a careful application to read outside it.
    out.ExtraDataIndex = std::min(in.extra_data_index, size);
    if (size != 0) std::memcpy(out.Data, in.data.data(), size);
}

std::string leading_bytes_text(std::span<const std::uint8_t> bytes, std::size_t max_bytes) {
    return text::byte_list(bytes.first(std::min(bytes.size(), max_bytes)));
}

ConfigList config_list_from(const SCONFIG_LIST& list) {
    ConfigList pairs;
    if (list.ConfigPtr == nullptr) return pairs;
    pairs.reserve(std::min(list.NumOfParams, kReserveLimit));
    for (std::uint32_t i = 0; i < list.NumOfParams; ++i) {
        pairs.push_back({list.ConfigPtr[i].Parameter, list.ConfigPtr[i].Value});
    }
    return pairs;
}

std::string config_list_text(const ConfigList& pairs) {
    std::string out;
    for (const ConfigPair& p : pairs) {
        if (!out.empty()) out += ", ";
        out += text::hex_prefixed(p.parameter) + "=" + text::dec(p.value);
    }
    return out;
}

Bytes bytes_from(const SBYTE_ARRAY& array) {
    if (array.BytePtr == nullptr) return {};
    return Bytes(array.BytePtr, array.BytePtr + array.NumOfBytes);
}

void bytes_to(const Bytes& bytes, SBYTE_ARRAY& out) {
    const auto n = static_cast<std::uint32_t>(std::min<std::size_t>(out.NumOfBytes, bytes.size()));
    if (n == 0 || out.BytePtr == nullptr) return;
    std::memcpy(out.BytePtr, bytes.data(), n);
    out.NumOfBytes = n;
}

void write_text_buffer(std::string_view text, char* out) {
    const std::size_t n = std::min<std::size_t>(text.size(), 79);
    std::copy_n(text.data(), n, out);
    out[n] = '\0';
}

}  // namespace vexo::api
