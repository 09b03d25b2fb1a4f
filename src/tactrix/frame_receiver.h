#pragma once

#include <chrono>
#include <cstddef>

#include "core/passthru_error.h"
#include "tactrix/frames.h"

namespace vexo::tactrix {

class TactrixDevice;

// The next frame from the cable: parsed from what is buffered, reading more (512 bytes at
// a time) until `limit` has passed. Garbage is dropped a byte at a time, each drop logged.
Result<RxFrame> receive_frame(TactrixDevice& device, std::chrono::nanoseconds limit);

// Exactly n raw, unframed bytes, buffered bytes first, within 2 seconds.
Result<std::vector<std::uint8_t>> read_exact(TactrixDevice& device, std::size_t n);

// One read of the shortest time-out, for a caller that must not wait.
VoidResult poll_cable(TactrixDevice& device);

}  // namespace vexo::tactrix
