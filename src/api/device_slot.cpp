#include "api/device_slot.h"

#include "tactrix/tactrix_device.h"

namespace vexo::api {

namespace {

std::unique_ptr<Device> make_builtin_device() { return std::make_unique<tactrix::TactrixDevice>(); }

// Guarded by the slot lock.
DeviceFactory& installed_factory() {
    static DeviceFactory* const factory = new DeviceFactory;
    return *factory;
}

}  // namespace

DeviceSlot& device_slot() {
    static DeviceSlot* const slot = new DeviceSlot;
    return *slot;
}

void set_device_factory(DeviceFactory factory) {
    BreakableGuard guard(device_slot().lock);
    installed_factory() = std::move(factory);
}

std::unique_ptr<Device> make_device() {
    const DeviceFactory& factory = installed_factory();
    return factory ? factory() : make_builtin_device();
}

}  // namespace vexo::api
