#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <optional>

#include "core/device.h"

namespace vexo {

// The settings of a device's channels as the cable took them: each channel's connect baud rate
// and the configuration values it acknowledged, in the order they were set. The device keeps it
// up to date; GET_CONFIG reads it from any thread without the device's lock, so it never waits
// behind another thread's blocking read.
class ConfigStore {
public:
    // The channel starts afresh: its baud rate and no value set.
    void connected(std::uint32_t channel_id, std::uint32_t baud_rate);
    // The cable took the value. It replaces the parameter's earlier one and moves to the end, so
    // replaying the list in order leaves the cable as the application's calls left it.
    void acknowledged(std::uint32_t channel_id, ConfigPair pair);
    void forget(std::uint32_t channel_id);
    void clear();

    // The values the cable took, in the order they were set; empty for an unknown channel.
    ConfigList values(std::uint32_t channel_id) const;
    // What GET_CONFIG reports when it is not the default: the value the cable took, or the
    // connect baud rate for a DATA_RATE never set. Nothing for an unknown channel.
    std::optional<std::uint32_t> reported(std::uint32_t channel_id, std::uint32_t parameter) const;

private:
    struct Channel {
        std::uint32_t baud_rate = 0;
        ConfigList values;
    };

    mutable std::mutex mutex_;
    std::map<std::uint32_t, Channel> channels_;
};

}  // namespace vexo
