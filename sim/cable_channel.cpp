#include "sim/cable_channel.h"

#include <algorithm>

namespace vexo::sim {

bool filter_matches(const CableFilter& filter, std::span<const std::uint8_t> message) {
    if (message.size() < filter.mask.size() || filter.pattern.size() != filter.mask.size()) return false;
    for (std::size_t i = 0; i < filter.mask.size(); ++i)
        if ((message[i] & filter.mask[i]) != (filter.pattern[i] & filter.mask[i])) return false;
    return true;
}

bool filters_pass(std::span<const CableFilter> filters, std::span<const std::uint8_t> message) {
    const auto blocks = [&](const CableFilter& f) { return f.type == block_filter && filter_matches(f, message); };
    const auto passes = [&](const CableFilter& f) { return f.type != block_filter && filter_matches(f, message); };
    return std::none_of(filters.begin(), filters.end(), blocks) && std::any_of(filters.begin(), filters.end(), passes);
}

}  // namespace vexo::sim
