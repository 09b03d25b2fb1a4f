#include "sim/vehicle_catalog.h"

#include <charconv>
#include <optional>

#include "sim/vehicle_bus_load.h"
#include "sim/vehicle_demo.h"

namespace vexo::sim {

namespace {

constexpr std::string_view busload_prefix = "busload:";

// "max" is 0, the source's flat-out rate; a number must be a positive decimal.
std::optional<std::uint32_t> frames_per_second(std::string_view text) {
    if (text == "max") return 0;
    std::uint32_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc{} || end != text.data() + text.size() || value == 0) return std::nullopt;
    return value;
}

void install_no_vehicle(CableFirmware& cable) {
    cable.detach_traffic();
    cable.set_vehicle(nullptr);
    cable.set_filtering(false);
    cable.set_battery_millivolts(CableFirmware::default_battery_millivolts);
    cable.set_fast_init_response(
        {CableFirmware::default_fast_init_response.begin(), CableFirmware::default_fast_init_response.end()});
}

}  // namespace

bool known_vehicle(std::string_view name) {
    return name.empty() || name == "none" || name == "demo" ||
           (name.starts_with(busload_prefix) && frames_per_second(name.substr(busload_prefix.size())));
}

bool install_vehicle(CableFirmware& cable, std::string_view name) {
    if (name.empty() || name == "none") {
        install_no_vehicle(cable);
        return true;
    }
    if (name == "demo") {
        cable.detach_traffic();
        install_demo_vehicle(cable);
        return true;
    }
    if (name.starts_with(busload_prefix)) {
        const auto rate = frames_per_second(name.substr(busload_prefix.size()));
        if (!rate) return false;
        install_demo_vehicle(cable);
        BusLoadSettings settings;
        settings.frames_per_second = *rate;
        cable.attach_traffic(std::make_unique<BusLoadSource>(settings));
        return true;
    }
    return false;
}

}  // namespace vexo::sim
