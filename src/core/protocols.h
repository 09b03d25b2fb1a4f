#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "vexo/j2534.h"

namespace vexo {

// One J2534 protocol and how the Openport carries it. Everything that depends on the
// protocol reads it here: the channels the driver opens, the framing of what the cable sends
// back, the protocols the registry announces, and the simulated cable.
struct ProtocolFacts {
    std::uint32_t id = 0;
    std::string_view name;  // as the registry names it
    // The channel digit of the cable's commands and frames; 0 for a protocol it does not carry.
    std::uint8_t cable_channel = 0;
    // CAN framing: each chunk starts with the 4-byte CAN ID, frames carry a time stamp, and
    // transmit and filter commands carry flag 0x40.
    bool can = false;
    std::uint32_t default_baud = 0;
    // Bytes of one message the cable takes, CAN ID included.
    std::size_t min_message = 0;
    std::size_t max_message = 0;
    // TxFlag ISO15765_ADDR_TYPE puts one address byte between the CAN ID and the data.
    bool extended_addressing = false;

    constexpr bool carried() const { return cable_channel != 0; }
};

// The sizes of one message the cable takes, CAN ID and any address byte included.
struct MessageSizes {
    std::size_t min = 0;
    std::size_t max = 0;
    bool extended = false;  // the address byte counts

    constexpr bool fits(std::size_t size) const { return size >= min && size <= max; }
};

constexpr MessageSizes message_sizes(const ProtocolFacts& protocol, std::uint32_t tx_flags) {
    const bool extended = protocol.extended_addressing && (tx_flags & ISO15765_ADDR_TYPE) != 0;
    const std::size_t address = extended ? 1 : 0;
    return {protocol.min_message + address, protocol.max_message + address, extended};
}

// The carried protocols first, in the order the registry lists them.
inline constexpr std::array kProtocols = {
    ProtocolFacts{CAN, "CAN", 5, true, 500000, 4, 4 + 8},
    ProtocolFacts{ISO15765, "ISO15765", 6, true, 500000, 4 + 1, 4 + 4095, true},
    ProtocolFacts{ISO9141, "ISO9141", 3, false, 10400, 1, 260},
    ProtocolFacts{ISO14230, "ISO14230", 4, false, 10400, 1, 260},
    ProtocolFacts{J1850VPW, "J1850VPW"},
    ProtocolFacts{J1850PWM, "J1850PWM"},
    ProtocolFacts{SCI_A_ENGINE, "SCI_A_ENGINE"},
    ProtocolFacts{SCI_A_TRANS, "SCI_A_TRANS"},
    ProtocolFacts{SCI_B_ENGINE, "SCI_B_ENGINE"},
    ProtocolFacts{SCI_B_TRANS, "SCI_B_TRANS"},
};

// The carried protocol with this J2534 ID, or null.
constexpr const ProtocolFacts* carried_protocol(std::uint32_t protocol_id) {
    for (const ProtocolFacts& protocol : kProtocols) {
        if (protocol.id == protocol_id && protocol.carried()) return &protocol;
    }
    return nullptr;
}

// The protocol on this cable channel, or null.
constexpr const ProtocolFacts* protocol_on_channel(std::uint32_t cable_channel) {
    for (const ProtocolFacts& protocol : kProtocols) {
        if (protocol.carried() && protocol.cable_channel == cable_channel) return &protocol;
    }
    return nullptr;
}

}  // namespace vexo
