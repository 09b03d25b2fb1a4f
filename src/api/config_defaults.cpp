#include "api/config_defaults.h"

#include <array>

namespace vexo::api {

namespace {
// Indexed by parameter ID; entry 0 is unused.
constexpr std::array<std::uint32_t, 22> kConfigDefaults = {
    0,
    10400,  // DATA_RATE
    0,      // 2 names no parameter
    0,      // LOOPBACK
    0,      // NODE_ADDRESS
    0,      // NETWORK_LINE
    0,      // P1_MIN
    40,     // P1_MAX
    0,      // P2_MIN
    0,      // P2_MAX
    110,    // P3_MIN
    0,      // P3_MAX
    10,     // P4_MIN
    0,      // P4_MAX
    300,    // W1
    20,     // W2
    20,     // W3
    50,     // W4
    300,    // W5
    300,    // TIDLE
    25,     // TINIL
    50,     // TWUP
};
}  // namespace

std::uint32_t config_default(std::uint32_t parameter) {
    return parameter < kConfigDefaults.size() ? kConfigDefaults[parameter] : 0;
}

}  // namespace vexo::api
