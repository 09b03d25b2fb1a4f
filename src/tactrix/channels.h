#pragma once

#include <cstdint>
#include <optional>
#include <span>
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

// The cable echoes a transmitted message in frames shaped like a received one: the kind a
// loopback frame stands for, or nothing for a frame that is no loopback.
std::optional<DataKind> loopback_as_received(DataKind kind);

// A filter the application installed, kept so that it can be put back on the cable.
struct AppliedFilter {
    std::uint32_t id = 0;  // the J2534 filter ID handed out
    FilterSpec spec;
};

// One protocol opened on the cable. The channel ID handed out is the protocol ID itself.
struct TactrixChannel {
    ProtocolFacts protocol;
    std::uint32_t connect_flags = 0;
    std::uint32_t baud_rate = 0;
    // IDs the cable answered in its filter acknowledgements, in order.
    std::vector<std::uint32_t> cable_filter_ids;
    // The application's filters on the cable, in the order they were installed.
    std::vector<AppliedFilter> filters;
    // Every value SET_CONFIG set, acknowledged or not: FAST_INIT sends them again.
    std::unordered_map<std::uint32_t, std::uint32_t> config_params;
    // A message still arriving when the last read ended; the next read goes on with it.
    MessageAssembly partial;
    // The same for the cable's loopback of a transmitted message.
    MessageAssembly loopback;
};

// RxStatus of a message read on the channel: TX_MSG_TYPE for a loopback, CAN_29BIT_ID when
// the CAN ID needs 29 bits or the channel was connected for 29-bit IDs alone.
std::uint32_t rx_status_of(const TactrixChannel& channel, std::span<const std::uint8_t> data, bool loopback);

}  // namespace vexo::tactrix
