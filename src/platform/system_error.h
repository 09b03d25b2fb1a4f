#pragma once

#include <cstdint>
#include <string_view>

namespace vexo::platform {

// A Windows system error code (as GetLastError reports it) and the call that gave it.
struct SystemError {
    std::uint32_t code = 0;
    std::string_view call;
};

// ERROR_NOT_SUPPORTED: what the POSIX twins of Windows-only services report.
inline constexpr std::uint32_t kErrorNotSupported = 50;

}  // namespace vexo::platform
