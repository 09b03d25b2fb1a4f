#include "sim/vehicle_engine_readings.h"

#include <algorithm>

namespace vexo::sim {

EngineReadings engine_readings(std::uint64_t uptime_us) {
    // Triangle over the cycle: 0 at idle, 10000 at the top.
    const std::uint64_t phase_ms = (uptime_us % drive_cycle_us) / 1000;
    const std::uint64_t half_ms = drive_cycle_us / 2000;
    const auto level = static_cast<std::uint32_t>(phase_ms < half_ms ? phase_ms : 2 * half_ms - phase_ms);
    const std::uint64_t seconds = uptime_us / 1'000'000;

    EngineReadings r;
    r.rpm = 750 + 2250 * level / 10000;
    r.speed_kmh = 120 * level / 10000;
    r.throttle_pct = 10 + 50 * level / 10000;
    r.module_mv = 14000 + 300 * level / 10000;
    r.coolant_c = static_cast<std::int32_t>(std::min<std::uint64_t>(90, 20 + seconds * 70 / 120));
    r.intake_air_c = 25 + static_cast<std::int32_t>(seconds / 30 % 5);
    r.fuel_pct = static_cast<std::uint32_t>(std::max<std::int64_t>(10, 75 - static_cast<std::int64_t>(seconds / 60)));
    return r;
}

}  // namespace vexo::sim
