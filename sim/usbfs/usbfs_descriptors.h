#pragma once

// What the kernel shows of a cable in sysfs: the attributes libusb reads and the raw
// descriptors it parses, as the Openport 2.0 reports them.

#include <cstdint>
#include <string>
#include <vector>

namespace vexo::sim::usbfs {

inline constexpr unsigned kBus = 1;
inline constexpr std::size_t kPacketSize = 64;

// The device descriptor followed by configuration 1: interface 0 without endpoints and
// interface 1 with bulk IN 0x81 and bulk OUT 0x02.
std::vector<std::uint8_t> cable_descriptors();

// "/dev/bus/usb/001/002" for address 2.
std::string device_node(std::uint8_t address);

// "/sys/devices/1-1": where the cable at this address appears.
std::string sysfs_path(std::uint8_t address);
// The cable at this address as a umockdev device record: its sysfs attributes (the text ones
// libusb and udev read, and the binary descriptors), its uevent properties and its node.
std::string cable_record(std::uint8_t address);

}  // namespace vexo::sim::usbfs
