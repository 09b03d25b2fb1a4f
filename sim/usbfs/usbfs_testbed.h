#pragma once

// The umockdev testbed that shows the simulated bus to the real libusb: a sysfs device and a
// usbfs node for every cable attached and not unplugged, kept in step with the bus through
// the bus's device observer. It sets UMOCKDEV_DIR, which
// the preload library in this process and in its children reads.

#include <umockdev.h>

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <sys/types.h>

#include "sim/usbfs/usbfs_node.h"

namespace vexo::sim::usbfs {

class UsbfsTestbed {
public:
    UsbfsTestbed();
    ~UsbfsTestbed();
    UsbfsTestbed(const UsbfsTestbed&) = delete;
    UsbfsTestbed& operator=(const UsbfsTestbed&) = delete;

    // Mirrors the bus: adds what was attached, removes what was unplugged or reset away.
    void sync();
    // The node of the device with this index on the bus; null when it has none.
    UsbfsNode* node(unsigned device);
    // Permission bits of the device's node, as a udev rule (or its absence) leaves them.
    bool set_node_mode(unsigned device, mode_t mode);
    std::string root() const;

private:
    std::uint8_t address_of(unsigned device) const;

    UMockdevTestbed* testbed_ = nullptr;
    std::mutex mutex_;
    std::map<std::uint8_t, std::unique_ptr<UsbfsNode>> nodes_;
    std::map<std::uint8_t, std::string> present_;  // address -> sysfs path
};

// The process's testbed, made on first use.
UsbfsTestbed& testbed();
// From now on every change of the bus's devices reaches the testbed.
void mirror_bus();

}  // namespace vexo::sim::usbfs
