#pragma once

#include <atomic>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <unordered_map>

#include "core/config_store.h"
#include "core/device.h"
#include "tactrix/cable_session.h"
#include "tactrix/channels.h"

namespace vexo::tactrix {

inline constexpr std::uint32_t kDeviceId = 1;

// The Tactrix Openport cable as a pass-thru device. Its operations run under the device
// slot lock, one at a time, so its state needs no lock of its own.
class TactrixDevice final : public Device {
public:
    TactrixDevice();
    ~TactrixDevice() override;
    TactrixDevice(const TactrixDevice&) = delete;
    TactrixDevice& operator=(const TactrixDevice&) = delete;

    Result<std::uint32_t> open(std::uint32_t unused) override;
    VoidResult close(std::uint32_t device_id) override;
    Result<std::uint32_t> connect(std::uint32_t device_id, std::uint32_t protocol_id, std::uint32_t flags,
                                  std::uint32_t baud_rate) override;
    VoidResult disconnect(std::uint32_t channel_id) override;
    Result<std::vector<Message>> read_msgs(std::uint32_t channel_id, std::uint32_t max_msgs,
                                           std::uint32_t timeout_ms) override;
    WriteResult write_msgs(std::uint32_t channel_id, std::span<const Message> msgs, std::uint32_t timeout_ms) override;
    Result<std::uint32_t> start_periodic_msg(std::uint32_t channel_id, const Message& msg,
                                             std::uint32_t interval_ms) override;
    Result<std::uint32_t> start_msg_filter(std::uint32_t channel_id, const FilterSpec& filter) override;
    VoidResult stop_msg_filter(std::uint32_t channel_id, std::uint32_t filter_id) override;
    Result<VersionInfo> read_version(std::uint32_t device_id) override;
    std::string last_error_detail() const override;
    Result<IoctlOutput> ioctl(std::uint32_t channel_id, std::uint32_t ioctl_id, const IoctlInput* input) override;
    Result<std::uint32_t> is_present() override;
    std::optional<DeviceInfo> describe() override;
    std::shared_ptr<const ConfigStore> config_store() const override { return config_; }

    // Seams for tests: the conversation with the cable, and the channels' records.
    CableSession& cable() { return cable_; }
    const TactrixChannel* channel(std::uint32_t channel_id) const;
    std::size_t channel_count() const { return channels_.size(); }

private:
    TactrixChannel* find_channel(std::uint32_t channel_id);
    // "ato" for the channel's protocol, flags and baud rate, acknowledged.
    VoidResult open_on_cable(const TactrixChannel& channel);
    // The pass-all filter the K-line channels need to receive anything.
    VoidResult pass_all(TactrixChannel& channel);
    // One "atf", acknowledged: the cable's ID for the filter.
    Result<std::uint32_t> install_filter(const TactrixChannel& channel, const FilterSpec& filter);
    // Closes the channel on the cable and opens it again with its settings and the filters kept.
    VoidResult reinstall(std::uint32_t channel_id, std::vector<AppliedFilter> kept);
    // Forgets every message received and not yet read, on every channel.
    VoidResult clear_received();

    CableSession cable_;
    std::unordered_map<std::uint32_t, TactrixChannel> channels_;
    std::string identity_;
    std::atomic<std::uint32_t> next_filter_id_{1};
    std::shared_ptr<ConfigStore> config_ = std::make_shared<ConfigStore>();
};

}  // namespace vexo::tactrix
