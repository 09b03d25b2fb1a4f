#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <variant>
#include <vector>

#include "core/passthru_error.h"

namespace vexo {

// Device-layer form of one J2534 message.
struct Message {
    std::vector<std::uint8_t> data;
    std::uint32_t protocol_id = 0;
    std::uint32_t rx_status = 0;
    std::uint32_t tx_flags = 0;
    std::uint32_t timestamp = 0;
    std::uint32_t extra_data_index = 0;

    friend bool operator==(const Message&, const Message&) = default;
};

// One pin, or a list of them.
using PinSelector = std::variant<std::uint32_t, std::vector<std::uint32_t>>;

struct DeviceInfo {
    std::string name;
    std::uint32_t availability = 0;
    std::uint32_t compatibility = 0;
    std::uint32_t connection_medium = 0;
    std::uint32_t connection_speed = 0;
    std::uint32_t signal_quality = 0;
    std::uint32_t signal_strength = 0;

    friend bool operator==(const DeviceInfo&, const DeviceInfo&) = default;
};

struct VersionInfo {
    std::string firmware;
    std::string library;
    std::string api;
};

struct FilterSpec {
    Message mask;
    Message pattern;
    std::optional<Message> flow_control;
    std::uint32_t filter_type = 0;
};

// (parameter ID, value), as in an SCONFIG record.
struct ConfigPair {
    std::uint32_t parameter = 0;
    std::uint32_t value = 0;
    friend bool operator==(const ConfigPair&, const ConfigPair&) = default;
};
using ConfigList = std::vector<ConfigPair>;
using Bytes = std::vector<std::uint8_t>;

// Input of ioctl: a configuration list or a byte array.
using IoctlInput = std::variant<ConfigList, Bytes>;

struct IoctlNothing {
    friend bool operator==(const IoctlNothing&, const IoctlNothing&) = default;
};
// Output of ioctl; the order of alternatives is the order of the variants.
using IoctlOutput = std::variant<ConfigList, Bytes, std::uint32_t, IoctlNothing>;

// A write that failed after its first `written` messages went out: the application is told
// how many were sent.
struct WriteFailure : PassThruError {
    // Implicit: an operation that fails before writing anything returns its error as it is.
    WriteFailure(PassThruError error, std::uint32_t written_before = 0)
        : PassThruError(std::move(error)), written(written_before) {}
    std::uint32_t written;
};
// The number of messages written.
using WriteResult = std::expected<std::uint32_t, WriteFailure>;

class ConfigStore;

// A pass-thru device as the entry points see it. Every operation runs with the device slot
// lock held, so implementations need no locking for state only operations touch. Operations
// an implementation does not provide keep these defaults, which fail with NotSupported.
class Device {
public:
    virtual ~Device() = default;

    virtual Result<std::uint32_t> open(std::uint32_t unused);
    virtual VoidResult close(std::uint32_t device_id);
    virtual Result<std::uint32_t> connect(std::uint32_t device_id, std::uint32_t protocol_id, std::uint32_t flags,
                                          std::uint32_t baud_rate);
    virtual VoidResult disconnect(std::uint32_t channel_id);
    virtual Result<std::vector<Message>> read_msgs(std::uint32_t channel_id, std::uint32_t max_msgs,
                                                   std::uint32_t timeout_ms);
    virtual WriteResult write_msgs(std::uint32_t channel_id, std::span<const Message> msgs, std::uint32_t timeout_ms);
    virtual Result<std::uint32_t> start_periodic_msg(std::uint32_t channel_id, const Message& msg,
                                                     std::uint32_t interval_ms);
    virtual VoidResult stop_periodic_msg(std::uint32_t channel_id, std::uint32_t msg_id);
    virtual Result<std::uint32_t> start_msg_filter(std::uint32_t channel_id, const FilterSpec& filter);
    virtual VoidResult stop_msg_filter(std::uint32_t channel_id, std::uint32_t filter_id);
    virtual VoidResult set_programming_voltage(std::uint32_t device_id, const PinSelector& pins, std::uint32_t voltage);
    virtual Result<VersionInfo> read_version(std::uint32_t device_id);
    virtual std::string last_error_detail() const;
    virtual Result<IoctlOutput> ioctl(std::uint32_t channel_id, std::uint32_t ioctl_id, const IoctlInput* input);
    virtual Result<std::uint32_t> is_present();
    virtual std::optional<DeviceInfo> describe();
    virtual VoidResult reserved_16();
    virtual VoidResult reserved_17();
    virtual VoidResult reserved_18();
    virtual WriteResult write_msgs_default_timeout(std::uint32_t channel_id, std::span<const Message> msgs);

    // The channels' settings, for GET_CONFIG to read without the slot lock; it outlives the device
    // for whoever still holds it. Null: GET_CONFIG reports its defaults.
    virtual std::shared_ptr<const ConfigStore> config_store() const;
};

}  // namespace vexo
