#pragma once

#include <functional>
#include <memory>

#include "core/device.h"

namespace vexo::api {

using DeviceFactory = std::function<std::unique_ptr<Device>()>;

// Replaces how PassThruOpen creates its device; nullptr restores the built-in one.
// Tests install device doubles through it.
void set_device_factory(DeviceFactory factory);

// A new, closed device. Call with the slot lock held: the factory lives under that lock.
std::unique_ptr<Device> make_device();

}  // namespace vexo::api
