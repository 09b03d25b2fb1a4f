#pragma once

#include <chrono>
#include <cstdint>
#include <span>

#include "core/passthru_error.h"
#include "tactrix/usb_transport.h"

namespace vexo::tactrix {

// Logs the bytes as "tactrix TX wire", then writes all of them, giving every transfer the
// whole time-out again. No transport is DeviceNotOpen; a transfer that takes nothing fails.
VoidResult write_all(UsbTransport* transport, std::span<const std::uint8_t> bytes, std::chrono::nanoseconds timeout);

}  // namespace vexo::tactrix
