#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "sim/cable_frames.h"
#include "sim/vehicle_engine_readings.h"

// The OBD-II (SAE J1979) services of the simulated ECUs in their CAN form: each
// takes the request (service byte first, no transport header) and gives the whole answer,
// positive or negative.
namespace vexo::sim {

// What one ECU offers in mode 01: the PIDs it answers, the range PIDs 00, 20 and 40
// included (the supported-PID bitmaps are built from this list, so they always agree with
// what is answered), and bytes B, C and D of PID 01, its monitors and their completion.
struct ObdProfile {
    std::vector<std::uint8_t> pids;
    std::array<std::uint8_t, 3> readiness{};
};

// Misfire, fuel and component monitors supported and complete; catalyst, evaporative
// system, O2 sensor and its heater supported.
inline const ObdProfile engine_obd_profile{{0x00, 0x01, 0x05, 0x0C, 0x0D, 0x0F, 0x11, 0x1C, 0x20, 0x2F, 0x40, 0x42},
                                           {0x07, 0x65, 0x00}};
// Vehicle speed and the OBD standard; no monitors of its own.
inline const ObdProfile transmission_obd_profile{{0x00, 0x01, 0x0D, 0x1C}, {0x00, 0x00, 0x00}};

// What an ECU kept of the moment it stored a code: frame 00, the only one it has.
struct FreezeFrame {
    std::uint16_t dtc = 0;  // the code that stored it, as mode 03 reports it
    EngineReadings readings;
};

// Mode 09 PIDs: the range PID and the VIN.
inline constexpr std::array<std::uint8_t, 2> vehicle_info_pids{0x00, 0x02};

// The 4-byte bitmap answering range PID `base` (00, 20, ...): bit 7 of the first byte
// stands for base+1, bit 0 of the last for base+32.
std::array<std::uint8_t, 4> supported_pid_bitmap(std::uint8_t base, std::span<const std::uint8_t> pids);

// The data bytes of one mode 01 PID, nothing for a PID not in the profile.
std::optional<Bytes> current_data_value(std::uint8_t pid, const ObdProfile& profile, const EngineReadings& readings,
                                        std::size_t stored_dtcs);

// Mode 01: up to six PIDs per request, answered with those supported.
Bytes obd_current_data(std::span<const std::uint8_t> request, const ObdProfile& profile, const EngineReadings& readings,
                       std::size_t stored_dtcs);
// Mode 02: one to three PID and frame pairs, answered with those the frame has: PID 02,
// the code that stored it, and the profile's PIDs but 01 and 1C, encoded as in mode 01;
// the range PIDs map these. Without a frame only 00 and 02 (as 00 00) are answered.
Bytes obd_freeze_frame(std::span<const std::uint8_t> request, const ObdProfile& profile,
                       const std::optional<FreezeFrame>& frame);
// Mode 03: the stored codes, two bytes each, after their count.
Bytes obd_stored_dtcs(std::span<const std::uint8_t> request, std::span<const std::uint16_t> dtcs);
// Modes 03, 07 (pending) and 0A (permanent) share their answer's form; the request names the mode.
Bytes obd_dtc_list(std::span<const std::uint8_t> request, std::span<const std::uint16_t> dtcs);
// Mode 09: one PID per request; 02 gives the record count 01 and the VIN.
Bytes obd_vehicle_info(std::span<const std::uint8_t> request, std::string_view vin);

// The same services where a message holds at most 7 data bytes (K-line): mode 03 answers
// three codes per message, 00 00 filling the last; mode 09 02 answers five numbered
// messages of four VIN bytes, the first starting with three 00 bytes.
std::vector<Bytes> obd_stored_dtcs_short(std::span<const std::uint8_t> request, std::span<const std::uint16_t> dtcs);
std::vector<Bytes> obd_vehicle_info_short(std::span<const std::uint8_t> request, std::string_view vin);

}  // namespace vexo::sim
