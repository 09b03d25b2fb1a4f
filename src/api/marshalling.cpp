#include "api/marshalling.h"

#include <algorithm>
#include <cstring>

#include "api/caller_values.h"
#include "core/text_format.h"

namespace vexo::api {

namespace {
constexpr std::size_t kReserveLimit = 1024;
}

std::span<const std::uint8_t> data_of(const PASSTHRU_MSG& in) {
    return {in.Data, static_cast<std::size_t>(std::min<J2534_ULONG>(in.DataSize, PASSTHRU_MSG_DATA_SIZE))};
}

Result<Message> message_from_passthru(const PASSTHRU_MSG& in) {
    const auto tx_flags = narrowed(in.TxFlags, PassThruError::Argument::TxFlags);
    if (!tx_flags) return fail(tx_flags.error());
    const auto data = data_of(in);
    return Message{
        .data = std::vector<std::uint8_t>(data.begin(), data.end()),
        .protocol_id = saturated(in.ProtocolID),
        .rx_status = saturated(in.RxStatus),
        .tx_flags = *tx_flags,
        .timestamp = saturated(in.Timestamp),
        .extra_data_index = saturated(in.ExtraDataIndex),
    };
}

Result<std::vector<Message>> messages_from_passthru(const PASSTHRU_MSG* in, std::uint32_t count) {
    std::vector<Message> out;
    out.reserve(std::min<std::size_t>(count, kReserveLimit));
    for (std::uint32_t i = 0; i < count; ++i) {
        auto msg = message_from_passthru(in[i]);
        if (!msg) return fail(msg.error());
        out.push_back(std::move(*msg));
    }
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

Result<ConfigList> config_list_from(const SCONFIG_LIST& list) {
    ConfigList pairs;
    if (list.ConfigPtr == nullptr) return pairs;
    pairs.reserve(std::min<std::size_t>(list.NumOfParams, kReserveLimit));
    for (J2534_ULONG i = 0; i < list.NumOfParams; ++i) {
        const SCONFIG& pair = list.ConfigPtr[i];
        if (!fits_32_bits(pair.Parameter) || !fits_32_bits(pair.Value)) {
            return fail(PassThruError::invalid_value(pair.Parameter, pair.Value));
        }
        pairs.push_back({static_cast<std::uint32_t>(pair.Parameter), static_cast<std::uint32_t>(pair.Value)});
    }
    return pairs;
}

std::string config_list_text(const SCONFIG_LIST& list) {
    std::string out;
    if (list.ConfigPtr == nullptr) return out;
    for (J2534_ULONG i = 0; i < list.NumOfParams; ++i) {
        if (!out.empty()) out += ", ";
        out += text::hex_prefixed(list.ConfigPtr[i].Parameter) + "=" + text::dec(list.ConfigPtr[i].Value);
    }
    return out;
}

Bytes bytes_from(const SBYTE_ARRAY& array) {
    if (array.BytePtr == nullptr) return {};
    return Bytes(array.BytePtr, array.BytePtr + array.NumOfBytes);
}

void bytes_to(const Bytes& bytes, SBYTE_ARRAY& out) {
    const std::size_t n = std::min<std::size_t>(out.NumOfBytes, bytes.size());
    if (n == 0 || out.BytePtr == nullptr) return;
    std::memcpy(out.BytePtr, bytes.data(), n);
    out.NumOfBytes = static_cast<J2534_ULONG>(n);
}

void write_text_buffer(std::string_view text, char* out) {
    const std::size_t n = std::min<std::size_t>(text.size(), 79);
    std::copy_n(text.data(), n, out);
    out[n] = '\0';
}

}  // namespace vexo::api
