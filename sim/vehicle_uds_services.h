#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <span>

#include "sim/cable_frames.h"

// The UDS (ISO 14229) services of the simulated engine ECU. Each takes the request
// (service byte first) and gives the whole answer, positive or negative, or nothing when
// the request set the suppress-positive-response bit (0x80 of the sub-function).
namespace vexo::sim {

namespace session {
inline constexpr std::uint8_t default_session = 0x01;
inline constexpr std::uint8_t programming = 0x02;
inline constexpr std::uint8_t extended = 0x03;
}  // namespace session

struct UdsState {
    std::uint8_t session = session::default_session;
    std::optional<std::uint16_t> pending_seed;  // handed out by 27 01, awaiting 27 02
    bool unlocked = false;

    // A new session, or a reset, locks the ECU again.
    void enter(std::uint8_t new_session) {
        session = new_session;
        pending_seed.reset();
        unlocked = false;
    }
};

// Security access: the key that unlocks a seed. Deliberately trivial, it only has to be
// something a test can compute: key = seed XOR 0x5A5A.
constexpr std::uint16_t security_key(std::uint16_t seed) { return seed ^ 0x5A5A; }

// Data identifiers the ECU reads out, by DID.
using DataIdentifiers = std::map<std::uint16_t, Bytes>;

// 10: answers 50 <session> 00 32 01 F4 (P2 50 ms, P2* 5 s).
std::optional<Bytes> uds_session_control(std::span<const std::uint8_t> request, UdsState& state);
// 11: hard (01) or soft (03) reset, back to the default session.
std::optional<Bytes> uds_ecu_reset(std::span<const std::uint8_t> request, UdsState& state);
// 22: one or more DIDs, answered with those known.
std::optional<Bytes> uds_read_data_by_id(std::span<const std::uint8_t> request, const DataIdentifiers& dids);
// 27: level 1 only. 27 01 hands out `fresh_seed` (never 0000, which means already unlocked),
// 27 02 <key> unlocks when the key fits the seed; either way the seed is used up.
std::optional<Bytes> uds_security_access(std::span<const std::uint8_t> request, UdsState& state,
                                         std::uint16_t fresh_seed);
// 3E: 3E 00 → 7E 00.
std::optional<Bytes> uds_tester_present(std::span<const std::uint8_t> request);

}  // namespace vexo::sim
