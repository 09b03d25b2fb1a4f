#include "tactrix/endpoint_walk.h"

namespace vexo::tactrix {

namespace {

constexpr std::uint8_t kTransferTypeMask = 0x03;
constexpr std::uint8_t kTransferTypeBulk = 0x02;
constexpr std::uint8_t kDirectionIn = 0x80;

std::optional<EndpointPair> pair_of(const libusb_interface_descriptor& setting) {
    std::optional<std::uint8_t> in;
    std::optional<std::uint8_t> out;
    for (int e = 0; e < setting.bNumEndpoints; ++e) {
        const libusb_endpoint_descriptor& endpoint = setting.endpoint[e];
        if ((endpoint.bmAttributes & kTransferTypeMask) != kTransferTypeBulk) continue;
        const bool is_in = (endpoint.bEndpointAddress & kDirectionIn) != 0;
        if (is_in && !in) in = endpoint.bEndpointAddress;
        if (!is_in && !out) out = endpoint.bEndpointAddress;
    }
    if (in && out) return EndpointPair{*in, *out};
    return std::nullopt;
}

}  // namespace

std::optional<EndpointPair> find_bulk_endpoint_pair(const libusb_config_descriptor& config) {
    for (int i = 0; i < config.bNumInterfaces; ++i) {
        const libusb_interface& iface = config.interface[i];
        if (iface.num_altsetting <= 0) return std::nullopt;
        for (int a = 0; a < iface.num_altsetting; ++a) {
            const libusb_interface_descriptor& setting = iface.altsetting[a];
            if (setting.bAlternateSetting != 0 || setting.bNumEndpoints == 0) continue;
            if (auto pair = pair_of(setting)) return pair;
        }
    }
    return std::nullopt;
}

}  // namespace vexo::tactrix
