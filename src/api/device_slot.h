#pragma once

#include <functional>
#include <memory>
#include <mutex>

#include "core/breakable_mutex.h"
#include "core/device.h"

namespace vexo::api {

// The open device's channel settings, for GET_CONFIG: behind a lock of their own, so reading
// them never waits for the slot lock that a blocking read may hold for seconds. Shared
// ownership keeps them alive for a reader while the device goes.
class PublishedConfig {
public:
    void publish(std::shared_ptr<const ConfigStore> store) {
        std::lock_guard lock(mutex_);
        store_ = std::move(store);
    }
    std::shared_ptr<const ConfigStore> current() const {
        std::lock_guard lock(mutex_);
        return store_;
    }

private:
    mutable std::mutex mutex_;
    std::shared_ptr<const ConfigStore> store_;
};

// The one open device of the process. Every use of `device` happens under `lock`; `config`
// is published whenever `device` is set or emptied.
struct DeviceSlot {
    BreakableMutex lock;
    std::unique_ptr<Device> device;
    PublishedConfig config;
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
