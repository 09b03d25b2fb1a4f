#pragma once

#include <functional>
#include <memory>

#include "core/breakable_mutex.h"
#include "core/device.h"

namespace vexo::api {

// The one open device of the process. Every use of `device` happens under `lock`.
struct DeviceSlot {
    BreakableMutex lock;
    std::unique_ptr<Device> device;
};

// Created on first use, never destroyed: an application that skips PassThruClose leaves the
// cable to the operating system instead of having it torn down during process exit.
DeviceSlot& device_slot();

using DeviceFactory = std::function<std::unique_ptr<Device>()>;

// Replaces how PassThruOpen creates its device; nullptr restores the built-in one.
// Tests install device doubles through it.
void set_device_factory(DeviceFactory factory);

// A new, closed device. Call with the slot lock held: the factory lives under that lock.
std::unique_ptr<Device> make_device();

}  // namespace vexo::api
