#pragma once

#include <cstdint>
#include <map>
#include <vector>

#include "sim/cable_filters.h"

namespace vexo::sim {

// What the cable holds for an open channel, from "ato" to "atc" or "atz".
struct CableChannel {
    std::uint32_t flags = 0;
    std::uint32_t baud = 0;
    std::vector<CableFilter> filters;
    std::map<std::uint32_t, std::uint32_t> config;  // "ats" parameter -> value

    friend bool operator==(const CableChannel&, const CableChannel&) = default;
};

}  // namespace vexo::sim
