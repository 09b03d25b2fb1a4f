#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
#include <optional>
#include <span>
#include <string>
#include <unordered_map>

#include "core/device.h"
#include "tactrix/rx_buffer.h"
#include "tactrix/frames.h"
#include "tactrix/tactrix_channel.h"
#include "tactrix/usb_transport.h"

namespace vexo::tactrix {

inline constexpr std::chrono::seconds kCommandTimeout{2};
inline constexpr std::chrono::seconds kReplyWindow{2};
inline constexpr std::uint32_t kDeviceId = 1;
// Vehicle data met while waiting for a command's reply waits here for read_msgs.
inline constexpr std::size_t kPendingDataLimit = 65536;

// The Tactrix Openport cable as a pass-thru device. Its operations run under the device
// slot lock, one at a time, so the fields need no lock of their own.
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
    Result<std::uint32_t> write_msgs(std::uint32_t channel_id, std::span<const Message> msgs,
                                     std::uint32_t timeout_ms) override;
    Result<std::uint32_t> start_periodic_msg(std::uint32_t channel_id, const Message& msg,
                                             std::uint32_t interval_ms) override;
    Result<std::uint32_t> start_msg_filter(std::uint32_t channel_id, const FilterSpec& filter) override;
    VoidResult stop_msg_filter(std::uint32_t channel_id, std::uint32_t filter_id) override;
    Result<VersionInfo> read_version(std::uint32_t device_id) override;
    std::string last_error_detail() const override;
    Result<IoctlOutput> ioctl(std::uint32_t channel_id, std::uint32_t ioctl_id, const IoctlInput* input) override;
    Result<std::uint32_t> is_present() override;
    std::optional<DeviceInfo> describe() override;

    // Writes one command (and its payload) to the cable.
    VoidResult send(std::span<const std::uint8_t> bytes, std::chrono::nanoseconds timeout = kCommandTimeout);
    TactrixChannel* find_channel(std::uint32_t channel_id);
    // Keeps a data frame that arrived while a command waited for its reply.
    void keep_pending(RxFrame::Data frame);

    std::optional<UsbTransport> transport;
    std::unordered_map<std::uint32_t, TactrixChannel> channels;
    RxBuffer rx_buffer;
    std::string last_detail;
    std::string identity;
    std::atomic<std::uint32_t> next_filter_id{1};
    std::deque<RxFrame::Data> pending_data;
    std::uint64_t dropped_data = 0;
};

}  // namespace vexo::tactrix
