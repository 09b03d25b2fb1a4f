#pragma once

#include <cstdint>
#include <unordered_map>
#include <vector>

#include "core/device.h"
#include "core/protocols.h"
#include "tactrix/frames.h"

namespace vexo::tactrix {

// A received message being put together from the cable's data frames. Only what one
// PASSTHRU_MSG can deliver is kept, so a message that never ends cannot grow memory.
struct MessageAssembly {
    std::vector<std::uint8_t> data;  // at most PASSTHRU_MSG_DATA_SIZE bytes
    std::uint64_t dropped = 0;       // bytes beyond that, counted but not kept
    std::uint32_t timestamp = 0;     // last non-zero frame timestamp
    bool continuation = false;       // a Normal frame has contributed data
};

enum class AssemblyStep { Open, Ended };

// Adds one data frame. CAN channels repeat the 4-byte CAN ID in every chunk; only the
// first one keeps it. K-line end frames carry nothing of the message.
AssemblyStep feed_frame(MessageAssembly& message, const RxFrame::Data& frame, bool can_channel);

// The finished message; the assembly starts over empty.
Message complete_message(MessageAssembly& message, std::uint32_t protocol_id);

// One protocol opened on the cable. The channel ID handed out is the protocol ID itself.
struct TactrixChannel {
    ProtocolFacts protocol;
    std::uint32_t connect_flags = 0;
    std::uint32_t baud_rate = 0;
    // IDs the cable answered in its filter acknowledgements, in order.
    std::vector<std::uint32_t> cable_filter_ids;
    std::unordered_map<std::uint32_t, std::uint32_t> config_params;
    // A message still arriving when the last read ended; the next read goes on with it.
    MessageAssembly partial;
};

}  // namespace vexo::tactrix
