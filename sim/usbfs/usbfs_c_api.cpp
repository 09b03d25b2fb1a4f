#include <chrono>

#include "sim/usbfs/usbfs_testbed.h"
#include "sim/usbfs/vexo_usbfs_api.h"

namespace {

using vexo::sim::usbfs::testbed;
using vexo::sim::usbfs::UsbfsNode;

// Loaded into a test process, the model mirrors the bus from its first control call on.
[[maybe_unused]] const bool kMirrored = (vexo::sim::usbfs::mirror_bus(), true);

template <class Use>
int with_node(unsigned device, Use use) {
    UsbfsNode* node = testbed().node(device);
    if (node == nullptr) return -1;
    use(*node);
    return 0;
}

}  // namespace

extern "C" {

int vexo_usbfs_bind_driver(unsigned device, int interface_number, const char* name) {
    return with_node(device, [&](UsbfsNode& node) { node.bind_driver(interface_number, name != nullptr ? name : ""); });
}

int vexo_usbfs_pause_in(unsigned device, size_t after_bytes, unsigned ms) {
    return with_node(device, [&](UsbfsNode& node) { node.pause_in(after_bytes, std::chrono::milliseconds(ms)); });
}

int vexo_usbfs_nak_out(unsigned device, size_t after_bytes, unsigned ms) {
    return with_node(device, [&](UsbfsNode& node) { node.nak_out(after_bytes, std::chrono::milliseconds(ms)); });
}

}  // extern "C"
