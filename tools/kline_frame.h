#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

// ISO 14230 (KWP2000) frames as a J2534 application sees them: format byte, target, source, data; the
// library adds and checks the checksum.
namespace vexo::tools {

inline constexpr std::uint8_t kKlineFunctionalTarget = 0x33;
inline constexpr std::uint8_t kKlineTester = 0xF1;
inline constexpr std::uint8_t kStartCommunication = 0x81;
inline constexpr std::size_t kKlineMaxHeaderLength = 63;

// Header with functional addressing and the length in the format byte: service 81 gives C1 33 F1 81.
// `service` must hold 1 to 63 bytes.
std::vector<std::uint8_t> kline_request(std::uint8_t target, std::uint8_t source,
                                        std::span<const std::uint8_t> service);

// The data of a received frame: the header (with or without addresses, with a separate length byte when
// the format byte's length is 0) is removed and anything after the stated length (the checksum, if the
// library passed it on) is dropped. nullopt when the frame is shorter than its header says.
std::optional<std::vector<std::uint8_t>> kline_payload(std::span<const std::uint8_t> frame);

// The two key bytes of a positive StartCommunication answer: from a whole frame (83 F1 10 C1 EF 8F ..)
// or from the bare service data (C1 EF 8F). nullopt when neither holds C1 and two bytes.
std::optional<std::array<std::uint8_t, 2>> start_communication_key_bytes(std::span<const std::uint8_t> response);

}  // namespace vexo::tools
