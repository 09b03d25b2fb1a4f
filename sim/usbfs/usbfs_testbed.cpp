#include "sim/usbfs/usbfs_testbed.h"

#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <thread>
#include <vector>

#include "sim/sim_bus.h"
#include "sim/usbfs/usbfs_descriptors.h"

namespace vexo::sim::usbfs {

namespace {

// libusb learns of devices coming and going from its hotplug thread, which reads the fake
// uevent socket; a test that changes the bus and then opens at once must not outrun it.
constexpr auto kUeventSettle = std::chrono::milliseconds(100);

struct Present {
    std::uint8_t address;
    std::shared_ptr<SimDevice> device;
};

std::vector<Present> present_cables() {
    std::lock_guard lock(bus().mutex);
    std::vector<Present> cables;
    for (const auto& device : bus().devices) {
        if (!device->unplugged) cables.push_back({device->address, device});
    }
    return cables;
}

}  // namespace

UsbfsTestbed::UsbfsTestbed() : testbed_(umockdev_testbed_new()) {
    // The preload's fake uevent socket lives in the testbed directory, and a client run as
    // another user must reach it and the nodes' sockets.
    ::chmod(root().c_str(), 01777);
}

UsbfsTestbed::~UsbfsTestbed() {
    nodes_.clear();
    g_object_unref(testbed_);
}

std::string UsbfsTestbed::root() const {
    gchar* dir = umockdev_testbed_get_root_dir(testbed_);
    std::string text = dir;
    g_free(dir);
    return text;
}

void UsbfsTestbed::sync() {
    std::lock_guard lock(mutex_);
    const std::vector<Present> cables = present_cables();
    bool changed = false;
    for (auto at = present_.begin(); at != present_.end();) {
        const bool kept = std::any_of(cables.begin(), cables.end(),
                                      [&](const Present& cable) { return cable.address == at->first; });
        if (kept) {
            ++at;
            continue;
        }
        nodes_[at->first]->plug(nullptr);
        // The handler is attached afresh with every device added at this address.
        umockdev_testbed_detach_ioctl(testbed_, device_node(at->first).c_str(), nullptr);
        umockdev_testbed_uevent(testbed_, at->second.c_str(), "remove");
        umockdev_testbed_remove_device(testbed_, at->second.c_str());
        at = present_.erase(at);
        changed = true;
    }
    for (const Present& cable : cables) {
        auto& node = nodes_[cable.address];
        if (present_.contains(cable.address)) {
            node->plug(cable.device);
            continue;
        }
        const std::string path = sysfs_path(cable.address);
        GError* error = nullptr;
        if (!umockdev_testbed_add_from_string(testbed_, cable_record(cable.address).c_str(), &error)) {
            g_printerr("vexo usbfs: cannot add %s: %s\n", path.c_str(), error->message);
            g_error_free(error);
            continue;
        }
        if (!node) node = std::make_unique<UsbfsNode>(cable.address);
        if (!umockdev_testbed_attach_ioctl(testbed_, device_node(cable.address).c_str(), node->handler(), &error)) {
            g_printerr("vexo usbfs: cannot serve %s: %s\n", device_node(cable.address).c_str(), error->message);
            g_error_free(error);
        }
        node->plug(cable.device);
        umockdev_testbed_uevent(testbed_, path.c_str(), "add");
        present_[cable.address] = path;
        changed = true;
    }
    if (changed) std::this_thread::sleep_for(kUeventSettle);
}

std::uint8_t UsbfsTestbed::address_of(unsigned device) const {
    std::lock_guard lock(bus().mutex);
    return device < bus().devices.size() ? bus().devices[device]->address : 0;
}

UsbfsNode* UsbfsTestbed::node(unsigned device) {
    const std::uint8_t address = address_of(device);
    std::lock_guard lock(mutex_);
    const auto at = nodes_.find(address);
    return at == nodes_.end() ? nullptr : at->second.get();
}

bool UsbfsTestbed::set_node_mode(unsigned device, mode_t mode) {
    const std::uint8_t address = address_of(device);
    if (address == 0) return false;
    const std::string base = root();
    const std::string node_path = base + device_node(address);
    // The preload reaches the handler through this socket even after a refused open().
    ::chmod((base + "/ioctl" + device_node(address)).c_str(), 0666);
    return ::chmod(node_path.c_str(), mode) == 0;
}

UsbfsTestbed& testbed() {
    static UsbfsTestbed* const instance = new UsbfsTestbed;
    return *instance;
}

void mirror_bus() {
    observe_devices([] { testbed().sync(); });
}

}  // namespace vexo::sim::usbfs
