#pragma once

#include <cstdint>
#include <span>
#include <vector>

// Command lines for the cable. Each builder returns the line with its CR LF and any payload
// as one byte string, because the cable expects the payload in the same write.
namespace vexo::tactrix::wire {

using Bytes = std::vector<std::uint8_t>;

inline constexpr std::uint32_t kFilterPassAll = 1;
inline constexpr std::uint32_t kFilterFlowControl = 3;

// "ati\r\n": identify.
Bytes identify();
// "ata\r\n": the second step of opening the device.
Bytes second_open_step();
// "atz\r\n": close the device.
Bytes close_device();
// "ato{ch} {flags} {baud} 0\r\n".
Bytes open_channel(std::uint32_t channel, std::uint32_t flags, std::uint32_t baud);
// "atc{ch}\r\n".
Bytes close_channel(std::uint32_t channel);
// "att{ch} {len} {tx_flags}\r\n" + data; tx_flags go out as given (see transmit_flags).
Bytes transmit(std::uint32_t channel, std::uint32_t tx_flags, std::span<const std::uint8_t> data);
// "atf{ch} {type} {flags} {len}\r\n" + mask + pattern (+ flow control for type 3).
// The caller has checked that all parts have the mask's length.
Bytes filter(std::uint32_t channel, std::uint32_t type, std::uint32_t flags, std::span<const std::uint8_t> mask,
             std::span<const std::uint8_t> pattern, std::span<const std::uint8_t> flow_control = {});
// "atf{ch} 1 0 1\r\n" + 00 00: lets every message through on the K-line channels.
Bytes pass_all_filter(std::uint32_t channel);
// "ats{ch} {param} {value}\r\n".
Bytes set_parameter(std::uint32_t channel, std::uint32_t parameter, std::uint32_t value);
// "atr {pin}\r\n": the one command with a blank before its first field.
Bytes read_analog(std::uint32_t pin);
// "aty{ch} {len} 0\r\n" + request.
Bytes fast_init(std::uint32_t channel, std::span<const std::uint8_t> request);

// The flags "att" sends: the CAN channels also need bit 0x40.
std::uint32_t transmit_flags(std::uint32_t channel, std::uint32_t tx_flags);
// The flags "atf" sends: 64 on the CAN channels, 0 on the K-line ones.
std::uint32_t filter_flags(std::uint32_t channel);

}  // namespace vexo::tactrix::wire
