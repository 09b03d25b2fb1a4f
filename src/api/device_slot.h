#pragma once

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

}  // namespace vexo::api
