#pragma once

#include <cstdint>
#include <expected>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "dynamic_library.h"
#include "library_location.h"

// The functions of a loaded J2534 library as the client's own code calls them, whatever record
// layout the library was built for: 32-bit values in and out, messages as plain data. Each
// layout has its binding (passthru_binding.cpp, compiled once per layout); nothing else in the
// client sees a PASSTHRU_MSG.
namespace vexo::tools {

struct PassThruMessage {
    std::uint32_t protocol_id = 0;
    std::uint32_t rx_status = 0;
    std::uint32_t tx_flags = 0;
    std::uint32_t timestamp = 0;
    std::uint32_t extra_data_index = 0;
    std::vector<std::uint8_t> data;
};

// Each returns the library's status. Outputs wider than 32 bits (a platform-ABI library may
// write any unsigned long) read as 0xFFFFFFFF.
class PassThruCalls {
public:
    virtual ~PassThruCalls() = default;

    virtual std::uint32_t open(std::uint32_t& device_id) const = 0;
    virtual std::uint32_t close(std::uint32_t device_id) const = 0;
    virtual std::uint32_t connect(std::uint32_t device_id, std::uint32_t protocol_id, std::uint32_t flags,
                                  std::uint32_t baud, std::uint32_t& channel_id) const = 0;
    virtual std::uint32_t disconnect(std::uint32_t channel_id) const = 0;
    // Reads up to `max` messages; `count` is what the library reported, `out` holds the first
    // min(count, max) records.
    virtual std::uint32_t read_msgs(std::uint32_t channel_id, std::uint32_t max, std::uint32_t timeout_ms,
                                    std::uint32_t& count, std::vector<PassThruMessage>& out) const = 0;
    virtual std::uint32_t write_msgs(std::uint32_t channel_id, std::span<const PassThruMessage> msgs,
                                     std::uint32_t& count, std::uint32_t timeout_ms) const = 0;
    virtual std::uint32_t start_periodic_msg(std::uint32_t channel_id, const PassThruMessage& msg,
                                             std::uint32_t interval_ms, std::uint32_t& msg_id) const = 0;
    virtual std::uint32_t stop_periodic_msg(std::uint32_t channel_id, std::uint32_t msg_id) const = 0;
    virtual std::uint32_t start_msg_filter(std::uint32_t channel_id, std::uint32_t filter_type,
                                           const PassThruMessage& mask, const PassThruMessage& pattern,
                                           const PassThruMessage* flow_control, std::uint32_t& filter_id) const = 0;
    virtual std::uint32_t read_version(std::uint32_t device_id, std::string& firmware, std::string& dll,
                                       std::string& api) const = 0;
    virtual std::uint32_t get_last_error(std::string& text) const = 0;
    // The ioctls the client uses.
    virtual std::uint32_t read_vbatt(std::uint32_t device_id, std::uint32_t& millivolts) const = 0;
    virtual std::uint32_t clear_rx_buffer(std::uint32_t channel_id) const = 0;
    virtual std::uint32_t fast_init(std::uint32_t channel_id, const PassThruMessage& request,
                                    PassThruMessage& response) const = 0;
};

// Binds the fourteen functions of `library` in one layout; fails with the names it lacks.
using Binding = std::expected<std::unique_ptr<const PassThruCalls>, std::string>;
namespace platform_layout {
Binding bind(const DynamicLibrary& library);
}
namespace fixed32_layout {
Binding bind(const DynamicLibrary& library);
}

}  // namespace vexo::tools
