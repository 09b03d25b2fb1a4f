#include "tactrix/tactrix_device.h"

#include "core/text_format.h"
#include "tactrix/reply_wait.h"
#include "tactrix/wire.h"
#include "tactrix/write_all.h"

namespace vexo::tactrix {

namespace {
constexpr char kFallbackFirmware[] = "Tactrix Openport 2.0";
}

TactrixDevice::TactrixDevice() = default;

TactrixDevice::~TactrixDevice() { (void)close(kDeviceId); }

Result<std::uint32_t> TactrixDevice::open(std::uint32_t) {
    // The old transport goes first: while it holds interface 1, the cable cannot be claimed
    // again and a second open would always fail with "Resource busy".
    if (transport) {
        close_usb(std::move(*transport));
        transport.reset();
    }
    auto opened = open_usb(kTactrixVendorId, kTactrixProductId);
    if (!opened) {
        last_detail = "open USB device: " + opened.error().message();
        return fail(PassThruError::transport(opened.error()));
    }
    transport.emplace(std::move(*opened));
    rx_buffer.clear();
    pending_data.clear();
    // Half a message from the old stream must not be finished with bytes of the new one.
    for (auto& [id, channel] : channels) channel.partial = MessageAssembly{};

    if (auto sent = send(wire::identify()); !sent) return fail(sent.error());
    auto identified = await_identify(*this);
    if (!identified) return fail(identified.error());
    identity = std::move(*identified);
    if (auto sent = send(wire::second_open_step()); !sent) return fail(sent.error());
    if (auto acked = await_ack(*this); !acked) return fail(acked.error());
    return kDeviceId;
}

VoidResult TactrixDevice::close(std::uint32_t) {
    std::vector<std::uint32_t> ids;
    ids.reserve(channels.size());
    for (const auto& [id, channel] : channels) ids.push_back(id);
    for (auto id : ids) (void)disconnect(id);
    if (transport) {
        (void)send(wire::close_device());
        close_usb(std::move(*transport));
        transport.reset();
    }
    rx_buffer.clear();
    pending_data.clear();
    channels.clear();
    return {};
}

Result<VersionInfo> TactrixDevice::read_version(std::uint32_t) {
    if (!transport) return fail(PassThruError::device_not_open());
    return VersionInfo{identity.empty() ? kFallbackFirmware : identity, "0.1.0", "04.04"};
}

std::string TactrixDevice::last_error_detail() const { return last_detail; }

Result<std::uint32_t> TactrixDevice::is_present() { return count_devices(kTactrixVendorId, kTactrixProductId); }

std::optional<DeviceInfo> TactrixDevice::describe() {
    if (count_devices(kTactrixVendorId, kTactrixProductId) == 0) return std::nullopt;
    return DeviceInfo{kFallbackFirmware, 1, 0, 2, 12000000, 0xFFFFFFFF, 0xFFFFFFFF};
}

VoidResult TactrixDevice::send(std::span<const std::uint8_t> bytes, std::chrono::nanoseconds timeout) {
    return write_all(transport ? &*transport : nullptr, bytes, timeout);
}

TactrixChannel* TactrixDevice::find_channel(std::uint32_t channel_id) {
    auto it = channels.find(channel_id);
    return it == channels.end() ? nullptr : &it->second;
}

void TactrixDevice::keep_pending(RxFrame::Data frame) {
    if (pending_data.size() >= kPendingDataLimit) {
        pending_data.pop_front();
        ++dropped_data;
        last_detail = "receive queue full: dropped " + text::dec(dropped_data) +
                      " data frames that arrived during command replies";
    }
    pending_data.push_back(std::move(frame));
}

}  // namespace vexo::tactrix
