#include "sim/usbfs/usbfs_descriptors.h"

#include <cstdio>
#include <utility>

#include "core/text_format.h"
#include "sim/sim_control.h"

namespace vexo::sim::usbfs {

namespace {

constexpr std::uint8_t lo(unsigned value) { return static_cast<std::uint8_t>(value & 0xFF); }
constexpr std::uint8_t hi(unsigned value) { return static_cast<std::uint8_t>(value >> 8); }

std::string decimal(unsigned value, int width) {
    char text[16];
    std::snprintf(text, sizeof text, "%0*u", width, value);
    return text;
}

// usbfs minors count devices across buses, 128 to a bus.
unsigned minor_of(std::uint8_t address) { return (kBus - 1) * 128 + address - 1u; }

}  // namespace

std::vector<std::uint8_t> cable_descriptors() {
    constexpr unsigned kConfigLength = 9 + 9 + 9 + 7 + 7;
    return {
        // device: USB 2.0, vendor class, 64-byte EP0, 0403:CC4D, release 1.00, strings 1-3
        18, 0x01, 0x00, 0x02, 0x00, 0x00, 0x00, 64, lo(kCableVendorId), hi(kCableVendorId), lo(kCableProductId),
        hi(kCableProductId), 0x00, 0x01, 1, 2, 3, 1,
        // configuration 1: two interfaces, bus powered, 500 mA
        9, 0x02, lo(kConfigLength), hi(kConfigLength), 2, 1, 0, 0x80, 250,
        // interface 0, no endpoints
        9, 0x04, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0,
        // interface 1: bulk IN 0x81 and bulk OUT 0x02, 64-byte packets
        9, 0x04, 1, 0, 2, 0xFF, 0xFF, 0xFF, 0,
        7, 0x05, 0x81, 0x02, lo(kPacketSize), hi(kPacketSize), 0,
        7, 0x05, 0x02, 0x02, lo(kPacketSize), hi(kPacketSize), 0};
}

std::string device_node(std::uint8_t address) {
    return "/dev/bus/usb/" + decimal(kBus, 3) + "/" + decimal(address, 3);
}

std::string sysfs_path(std::uint8_t address) {
    // One cable to a root port, the port numbered after the address.
    return "/sys/devices/" + std::to_string(kBus) + "-" + std::to_string(address - 1u);
}

std::string cable_record(std::uint8_t address) {
    std::string record = "P: " + sysfs_path(address).substr(4) + "\n";
    record += "N: " + device_node(address).substr(5) + "\n";
    const std::pair<const char*, std::string> properties[] = {
        {"DEVNAME", device_node(address)},
        {"DEVTYPE", "usb_device"},
        {"DRIVER", "usb"},
        {"PRODUCT", "403/cc4d/100"},
        {"TYPE", "0/0/0"},
        {"BUSNUM", decimal(kBus, 3)},
        {"DEVNUM", decimal(address, 3)},
        {"MAJOR", "189"},
        {"MINOR", std::to_string(minor_of(address))},
        {"SUBSYSTEM", "usb"}};
    for (const auto& [name, value] : properties) record += "E: " + std::string(name) + "=" + value + "\n";
    // sysfs text attributes end in a newline, which the record format writes as \n.
    const std::pair<const char*, std::string> attributes[] = {
        {"idVendor", text::hex(kCableVendorId, 4)},
        {"idProduct", text::hex(kCableProductId, 4)},
        {"bcdDevice", "0100"},
        {"bDeviceClass", "00"},
        {"bNumConfigurations", "1"},
        {"bConfigurationValue", "1"},
        {"bNumInterfaces", " 2"},
        {"bMaxPacketSize0", "64"},
        {"busnum", std::to_string(kBus)},
        {"devnum", std::to_string(address)},
        {"speed", "12"},
        {"manufacturer", "Tactrix Inc."},
        {"product", "OpenPort 2.0"},
        {"serial", "VXSIM" + decimal(address, 3)},
        {"dev", "189:" + std::to_string(minor_of(address))}};
    for (const auto& [name, value] : attributes) record += "A: " + std::string(name) + "=" + value + "\\n\n";
    return record + "H: descriptors=" + text::byte_list(cable_descriptors(), "") + "\n";
}

}  // namespace vexo::sim::usbfs
