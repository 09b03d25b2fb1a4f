#include <atomic>

#include "platform/trace_output.h"

namespace vexo::platform {

namespace {
std::atomic<std::uint64_t> rotation_size{kTraceRotationSize};
}

void set_trace_rotation_size(std::uint64_t bytes) { rotation_size = bytes == 0 ? kTraceRotationSize : bytes; }

std::uint64_t trace_rotation_size() { return rotation_size; }

}  // namespace vexo::platform
