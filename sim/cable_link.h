#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <span>

namespace vexo::sim {

// What the simulated cable's bulk endpoints talk to: the firmware model sits behind it.
// The libusb stand-in calls host_wrote for bytes it accepted on the OUT endpoint and
// host_read for an IN transfer. Both may be called from any thread.
class CableLink {
public:
    virtual ~CableLink() = default;

    // Bytes the host wrote; the model consumes them as its command stream.
    virtual void host_wrote(std::span<const std::uint8_t> bytes) = 0;

    // Copies up to into.size() bytes of pending output into `into`, waiting until `deadline`
    // for some to appear (returns at once when output is already pending). Returns the
    // number of bytes copied; 0 means the deadline passed with nothing to send.
    virtual std::size_t host_read(std::span<std::uint8_t> into, std::chrono::steady_clock::time_point deadline) = 0;
};

}  // namespace vexo::sim
