#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

#include "vexo/j2534.h"

namespace vexo::e2e {

// A PASSTHRU_MSG as an application fills it; Data beyond DataSize is left zero.
PASSTHRU_MSG passthru_msg(std::uint32_t protocol_id, std::uint32_t tx_flags, std::initializer_list<int> data);
// The first DataSize bytes of a message (at most 4128), as a byte string.
std::string data_of(const PASSTHRU_MSG& msg);

// A data frame as the cable sends it: "ar", the channel digit, the length byte, the status
// byte, the big-endian time stamp on channels 5 and 6, and the payload.
std::string data_frame(int channel, int status, std::uint32_t ts_us, const std::string& payload);

// The driver's hex-dump line: "[tactrix] tactrix TX wire: 5 bytes [61 74 69 0D 0A]"; beyond 48
// bytes the first 48 and " …".
std::string wire_line(const std::string& direction, const std::string& bytes);

}  // namespace vexo::e2e
