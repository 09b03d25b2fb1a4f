#include "core/device.h"

#include "core/config_store.h"

namespace vexo {

namespace {
std::unexpected<PassThruError> unsupported() { return fail(PassThruError::not_supported()); }
}  // namespace

Result<std::uint32_t> Device::open(std::uint32_t) { return unsupported(); }
VoidResult Device::close(std::uint32_t) { return unsupported(); }
Result<std::uint32_t> Device::connect(std::uint32_t, std::uint32_t, std::uint32_t, std::uint32_t) {
    return unsupported();
}
VoidResult Device::disconnect(std::uint32_t) { return unsupported(); }
Result<std::vector<Message>> Device::read_msgs(std::uint32_t, std::uint32_t, std::uint32_t) { return unsupported(); }
WriteResult Device::write_msgs(std::uint32_t, std::span<const Message>, std::uint32_t) { return unsupported(); }
Result<std::uint32_t> Device::start_periodic_msg(std::uint32_t, const Message&, std::uint32_t) { return unsupported(); }
VoidResult Device::stop_periodic_msg(std::uint32_t, std::uint32_t) { return unsupported(); }
Result<std::uint32_t> Device::start_msg_filter(std::uint32_t, const FilterSpec&) { return unsupported(); }
VoidResult Device::stop_msg_filter(std::uint32_t, std::uint32_t) { return unsupported(); }
VoidResult Device::set_programming_voltage(std::uint32_t, const PinSelector&, std::uint32_t) { return unsupported(); }
Result<VersionInfo> Device::read_version(std::uint32_t) { return unsupported(); }
std::string Device::last_error_detail() const { return {}; }
Result<IoctlOutput> Device::ioctl(std::uint32_t, std::uint32_t, const IoctlInput*) { return unsupported(); }
Result<std::uint32_t> Device::is_present() { return unsupported(); }
std::optional<DeviceInfo> Device::describe() { return std::nullopt; }
VoidResult Device::reserved_16() { return unsupported(); }
VoidResult Device::reserved_17() { return unsupported(); }
VoidResult Device::reserved_18() { return unsupported(); }
WriteResult Device::write_msgs_default_timeout(std::uint32_t channel_id, std::span<const Message> msgs) {
    return write_msgs(channel_id, msgs, 0);
}
std::shared_ptr<const ConfigStore> Device::config_store() const { return nullptr; }

}  // namespace vexo
