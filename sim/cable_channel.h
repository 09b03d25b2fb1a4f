#pragma once

#include <cstdint>
#include <map>
#include <span>
#include <vector>

// What the cable keeps for each open channel: its settings and the filters "atf" installs.
namespace vexo::sim {

inline constexpr std::uint32_t pass_filter = 1;
inline constexpr std::uint32_t block_filter = 2;
inline constexpr std::uint32_t flow_control_filter = 3;

// A filter as installed by "atf": the cable's own ID and the bytes that came with it.
struct CableFilter {
    std::uint32_t id = 0;
    std::uint32_t type = 0;
    std::uint32_t flags = 0;
    std::vector<std::uint8_t> mask;
    std::vector<std::uint8_t> pattern;
    std::vector<std::uint8_t> flow_control;  // type 3 only

    friend bool operator==(const CableFilter&, const CableFilter&) = default;
};

// True when the message's leading bytes equal the pattern under the mask; a message shorter
// than the mask never matches.
bool filter_matches(const CableFilter& filter, std::span<const std::uint8_t> message);

// The J2534 rule: no block filter matches, and a pass or flow-control filter does.
bool filters_pass(std::span<const CableFilter> filters, std::span<const std::uint8_t> message);

// What the cable holds for an open channel, from "ato" to "atc" or "atz".
struct CableChannel {
    std::uint32_t flags = 0;
    std::uint32_t baud = 0;
    std::vector<CableFilter> filters;
    std::map<std::uint32_t, std::uint32_t> config;  // "ats" parameter -> value

    friend bool operator==(const CableChannel&, const CableChannel&) = default;
};

}  // namespace vexo::sim
