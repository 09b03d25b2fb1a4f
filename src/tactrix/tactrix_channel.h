#pragma once

#include <cstdint>
#include <unordered_map>
#include <vector>

#include "tactrix/message_assembly.h"

namespace vexo::tactrix {

// One protocol opened on the cable. The channel ID handed out is the protocol ID itself.
struct TactrixChannel {
    std::uint32_t protocol_id = 0;
    std::uint32_t connect_flags = 0;
    std::uint32_t baud_rate = 0;
    std::uint8_t cable_channel = 0;
    // IDs the cable answered in its filter acknowledgements, in order.
    std::vector<std::uint32_t> cable_filter_ids;
    std::unordered_map<std::uint32_t, std::uint32_t> config_params;
    // A message still arriving when the last read ended; the next read goes on with it.
    MessageAssembly partial;

    bool is_can() const { return protocol_id == 5 || protocol_id == 6; }
};

}  // namespace vexo::tactrix
