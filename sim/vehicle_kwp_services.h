#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "sim/cable_frames.h"
#include "sim/vehicle_engine_readings.h"
#include "sim/vehicle_obd_services.h"

// The KWP2000 (ISO 14230-3) services of the simulated K-line ECU, and the OBD-II services
// it offers over them (ISO 14230-4), on the message data (service byte first) without the
// K-line header.
namespace vexo::sim {

struct KwpContext {
    std::string_view vin;
    std::array<std::uint8_t, 2> key_bytes{};  // reported by StartCommunication
    const ObdProfile& profile;                // what mode 01 answers
    EngineReadings readings;
    std::vector<std::uint16_t>& dtcs;  // cleared by mode 04
    // Sent to every ECU: OBD requests the ECU cannot serve go unanswered.
    bool functional = false;
};

struct KwpOutcome {
    std::vector<Bytes> answers;       // in the order they go on the line
    bool stop_communication = false;  // the ECU leaves the session once it has answered
};

// 81 StartCommunication → C1 <key bytes>; 82 StopCommunication → C2; 10 81/85 → 50 xx;
// 1A 90 → 5A 90 <VIN>; 21 01 → 61 01 <rpm hi> <rpm lo> <coolant+40> <km/h> <throttle %>
// <module voltage in 0.1 V>; 3E [01] → 7E, 3E 02 → no answer; OBD modes 01, 03, 04 and 09
// in their K-line form. Anything else 7F <sid> 11.
KwpOutcome kwp_answer(std::span<const std::uint8_t> request, KwpContext& context);

}  // namespace vexo::sim
