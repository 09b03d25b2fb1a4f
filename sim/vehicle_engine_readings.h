#pragma once

#include <cstdint>
#include <string_view>

namespace vexo::sim {

// What the simulated engine's sensors read at a moment of its running time: a two-minute
// warm-up, a 20-second drive cycle that repeats (idle to 3000 rpm and back), a tank that
// drains one percent a minute. The same time always gives the same readings.
struct EngineReadings {
    std::uint32_t rpm = 0;           // 750 .. 3000
    std::uint32_t speed_kmh = 0;     // 0 .. 120, follows the rpm
    std::int32_t coolant_c = 0;      // 20 rising to 90
    std::int32_t intake_air_c = 0;   // 25 .. 29
    std::uint32_t throttle_pct = 0;  // 10 .. 60
    std::uint32_t fuel_pct = 0;      // 75 falling to 10
    std::uint32_t module_mv = 0;     // 14000 .. 14300, the alternator following the rpm

    friend bool operator==(const EngineReadings&, const EngineReadings&) = default;
};

inline constexpr std::uint64_t drive_cycle_us = 20'000'000;

EngineReadings engine_readings(std::uint64_t uptime_us);

// The simulated car's VIN, reported by every ECU that knows it: 17 characters, none of
// the letters I, O or Q that VINs leave out.
inline constexpr std::string_view demo_vin = "1VXDM5SM8N0004217";

}  // namespace vexo::sim
