#include "tactrix/tactrix_device.h"

#include <utility>

#include "tactrix/wire.h"
#include "vexo/version.h"

namespace vexo::tactrix {

namespace {
constexpr char kFallbackFirmware[] = "Tactrix Openport 2.0";
}

TactrixDevice::TactrixDevice() = default;

TactrixDevice::~TactrixDevice() { (void)close(kDeviceId); }

Result<std::uint32_t> TactrixDevice::open(std::uint32_t) {
    if (auto opened = cable_.open(); !opened) return fail(opened.error());
    // Half a message from the old stream must not be finished with bytes of the new one.
    for (auto& [id, channel] : channels_) channel.partial = MessageAssembly{};

    if (auto sent = cable_.send(wire::identify()); !sent) return fail(sent.error());
    auto identified = cable_.await_identify();
    if (!identified) return fail(identified.error());
    identity_ = std::move(*identified);
    if (auto sent = cable_.send(wire::second_open_step()); !sent) return fail(sent.error());
    if (auto acked = cable_.await_ack(); !acked) return fail(acked.error());
    return kDeviceId;
}

VoidResult TactrixDevice::close(std::uint32_t) {
    std::vector<std::uint32_t> ids;
    ids.reserve(channels_.size());
    for (const auto& [id, channel] : channels_) ids.push_back(id);
    for (auto id : ids) (void)disconnect(id);
    if (cable_.is_open()) (void)cable_.send(wire::close_device());
    cable_.close();
    channels_.clear();
    config_->clear();
    return {};
}

Result<VersionInfo> TactrixDevice::read_version(std::uint32_t) {
    if (!cable_.is_open()) return fail(PassThruError::device_not_open());
    return VersionInfo{identity_.empty() ? kFallbackFirmware : identity_, VEXO_VERSION_TEXT, "04.04"};
}

std::string TactrixDevice::last_error_detail() const { return cable_.detail(); }

Result<std::uint32_t> TactrixDevice::is_present() { return count_devices(kTactrixVendorId, kTactrixProductId); }

std::optional<DeviceInfo> TactrixDevice::describe() {
    if (count_devices(kTactrixVendorId, kTactrixProductId) == 0) return std::nullopt;
    return DeviceInfo{kFallbackFirmware, 1, 0, 2, 12000000, 0xFFFFFFFF, 0xFFFFFFFF};
}

const TactrixChannel* TactrixDevice::channel(std::uint32_t channel_id) const {
    auto it = channels_.find(channel_id);
    return it == channels_.end() ? nullptr : &it->second;
}

TactrixChannel* TactrixDevice::find_channel(std::uint32_t channel_id) {
    return const_cast<TactrixChannel*>(std::as_const(*this).channel(channel_id));
}

}  // namespace vexo::tactrix
