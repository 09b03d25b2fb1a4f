#include "core/config_store.h"

#include <algorithm>

#include "vexo/j2534.h"

namespace vexo {

void ConfigStore::connected(std::uint32_t channel_id, std::uint32_t baud_rate) {
    std::lock_guard lock(mutex_);
    channels_.insert_or_assign(channel_id, Channel{baud_rate, {}});
}

void ConfigStore::acknowledged(std::uint32_t channel_id, ConfigPair pair) {
    std::lock_guard lock(mutex_);
    const auto found = channels_.find(channel_id);
    if (found == channels_.end()) return;
    ConfigList& values = found->second.values;
    std::erase_if(values, [&](const ConfigPair& earlier) { return earlier.parameter == pair.parameter; });
    values.push_back(pair);
}

void ConfigStore::forget(std::uint32_t channel_id) {
    std::lock_guard lock(mutex_);
    channels_.erase(channel_id);
}

void ConfigStore::clear() {
    std::lock_guard lock(mutex_);
    channels_.clear();
}

ConfigList ConfigStore::values(std::uint32_t channel_id) const {
    std::lock_guard lock(mutex_);
    const auto found = channels_.find(channel_id);
    return found == channels_.end() ? ConfigList{} : found->second.values;
}

std::optional<std::uint32_t> ConfigStore::reported(std::uint32_t channel_id, std::uint32_t parameter) const {
    std::lock_guard lock(mutex_);
    const auto found = channels_.find(channel_id);
    if (found == channels_.end()) return std::nullopt;
    const ConfigList& values = found->second.values;
    const auto value = std::ranges::find(values, parameter, &ConfigPair::parameter);
    if (value != values.end()) return value->value;
    if (parameter == DATA_RATE) return found->second.baud_rate;
    return std::nullopt;
}

}  // namespace vexo
