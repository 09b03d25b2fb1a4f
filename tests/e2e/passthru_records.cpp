#include "passthru_records.h"

#include <algorithm>
#include <cstdio>

namespace vexo::e2e {

PASSTHRU_MSG passthru_msg(std::uint32_t protocol_id, std::uint32_t tx_flags, std::initializer_list<int> data) {
    PASSTHRU_MSG msg{};
    msg.ProtocolID = protocol_id;
    msg.TxFlags = tx_flags;
    msg.DataSize = static_cast<std::uint32_t>(data.size());
    std::size_t i = 0;
    for (int b : data) msg.Data[i++] = static_cast<std::uint8_t>(b);
    return msg;
}

std::string data_of(const PASSTHRU_MSG& msg) {
    const std::size_t size = std::min<std::size_t>(msg.DataSize, PASSTHRU_MSG_DATA_SIZE);
    return std::string(reinterpret_cast<const char*>(msg.Data), size);
}

std::string data_frame(int channel, int status, std::uint32_t ts_us, const std::string& payload) {
    const bool stamped = channel == 5 || channel == 6;
    std::string frame = "ar";
    frame.push_back(static_cast<char>('0' + channel));
    frame.push_back(static_cast<char>(1 + (stamped ? 4 : 0) + payload.size()));
    frame.push_back(static_cast<char>(status));
    if (stamped) {
        for (int shift = 24; shift >= 0; shift -= 8) frame.push_back(static_cast<char>(ts_us >> shift));
    }
    return frame + payload;
}

std::string wire_line(const std::string& direction, const std::string& bytes) {
    std::string list;
    for (unsigned char b : bytes.substr(0, 48)) {
        char hex[4];
        std::snprintf(hex, sizeof hex, "%02X", b);
        if (!list.empty()) list.push_back(' ');
        list += hex;
    }
    if (bytes.size() > 48) list += " \u2026";
    return "[tactrix] tactrix " + direction + " wire: " + std::to_string(bytes.size()) + " bytes [" + list + "]";
}

}  // namespace vexo::e2e
