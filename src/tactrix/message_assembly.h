#pragma once

#include <cstdint>
#include <vector>

#include "core/device.h"
#include "tactrix/frames.h"

namespace vexo::tactrix {

// A received message being put together from the cable's data frames.
struct MessageAssembly {
    std::vector<std::uint8_t> data;
    std::uint32_t timestamp = 0;  // last non-zero frame timestamp
    bool continuation = false;    // a Normal frame has contributed data
};

enum class AssemblyStep { Open, Ended };

// Adds one data frame. CAN channels repeat the 4-byte CAN ID in every chunk; only the
// first one keeps it. K-line end frames carry nothing of the message.
AssemblyStep feed_frame(MessageAssembly& message, const RxFrame::Data& frame, bool can_channel);

// The finished message; the assembly starts over empty.
Message complete_message(MessageAssembly& message, std::uint32_t protocol_id);

}  // namespace vexo::tactrix
