#include "tactrix/message_assembly.h"

#include <utility>

namespace vexo::tactrix {

namespace {

constexpr std::size_t kCanIdLength = 4;

void take_timestamp(MessageAssembly& message, const RxFrame::Data& frame) {
    if (frame.ts_us != 0) message.timestamp = frame.ts_us;
}

void append(MessageAssembly& message, const std::vector<std::uint8_t>& payload, std::size_t skip) {
    message.data.insert(message.data.end(), payload.begin() + static_cast<std::ptrdiff_t>(skip), payload.end());
}

}  // namespace

AssemblyStep feed_frame(MessageAssembly& message, const RxFrame::Data& frame, bool can_channel) {
    switch (frame.kind.tag()) {
        case DataKind::Normal: {
            take_timestamp(message, frame);
            const bool strip = can_channel && message.continuation && frame.payload.size() > 3;
            append(message, frame.payload, strip ? kCanIdLength : 0);
            message.continuation = true;
            return AssemblyStep::Open;
        }
        case DataKind::NormalStart: take_timestamp(message, frame); return AssemblyStep::Open;
        case DataKind::RxEnd:
        case DataKind::RxEndExtended:
            take_timestamp(message, frame);
            if (can_channel) {
                const bool strip = message.continuation && frame.payload.size() >= kCanIdLength;
                append(message, frame.payload, strip ? kCanIdLength : 0);
            }
            return AssemblyStep::Ended;
        default: return AssemblyStep::Open;
    }
}

Message complete_message(MessageAssembly& message, std::uint32_t protocol_id) {
    Message out;
    out.data = std::move(message.data);
    out.protocol_id = protocol_id;
    out.timestamp = message.timestamp;
    out.extra_data_index = static_cast<std::uint32_t>(out.data.size());
    message = MessageAssembly{};
    return out;
}

}  // namespace vexo::tactrix
