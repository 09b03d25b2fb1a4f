#pragma once

#include <memory>
#include <string_view>
#include <vector>

#include "sim/cable_firmware.h"
#include "sim/cable_vehicle_side.h"
#include "sim/vehicle_can_ecu.h"
#include "sim/vehicle_kline_ecu.h"

// The vehicles the simulated cable can have behind it, and how their ECUs share it.
namespace vexo::sim {

// The names install_vehicle knows, for messages that list them.
inline constexpr std::string_view vehicle_names = "demo, demo-250k, demo-29bit, demo-250k-29bit, none, busload:N";

// Puts a vehicle behind the cable by name, for the simulated cable's control surface:
// - "none" (or ""): nothing behind the cable; the cable's own defaults (no filtering,
//   the standard fast-init reply) and no traffic;
// - "demo": install_demo_vehicle, with background frames on channel 5 (IDs 200..203, 20 a
//   second); "demo-250k", "demo-29bit" and "demo-250k-29bit" the same car with its CAN ECUs
//   at 250 kbit/s, on 29-bit IDs, or both (DemoBus);
// - "busload:<fps>": the demo car plus CAN frames on channel 5 (IDs 100..10F) at <fps>
//   frames per second; "busload:max" as fast as the host reads them.
// Returns false and leaves the cable as it was for any other name.
bool install_vehicle(CableFirmware& cable, std::string_view name);

// Whether install_vehicle knows the name.
bool known_vehicle(std::string_view name);

// How the demo car's CAN ECUs sit on the bus.
struct DemoBus {
    std::uint32_t bit_rate = carried_protocol(ISO15765)->default_baud;
    // 29-bit IDs with normal fixed addressing: 18DA<target><source> for a physical request
    // or answer, 18DB33F1 for the functional request, the tester being F1, the engine 10 and
    // the transmission 18. Otherwise 7E0 and 7E1 in, 8 above out, 7DF functional.
    bool extended_ids = false;
};

// The ECUs of the demo car, for callers that want to look at them.
struct DemoVehicle {
    std::shared_ptr<CanEcu> engine;
    std::shared_ptr<CanEcu> transmission;
    std::shared_ptr<KlineEcu> kline;
};

// Puts the demo car behind the cable: on CAN and ISO15765 the engine ECU and the
// transmission ECU (P0730 stored, no monitors of its own), which answer a functional
// request in that order; the KWP2000 ECU at address 10 on the ISO14230 K-line at
// 10400 baud, 12.6 V on pin 16, and the J2534 filter rules on every channel, so nothing is
// delivered until a filter passes it. A fast initialisation on the ISO9141 channel finds
// no ECU. Any earlier vehicle is replaced; attached traffic is left alone.
DemoVehicle install_demo_vehicle(CableFirmware& cable, DemoBus bus = {});

// Several ECUs behind one cable: each hears everything the cable does, in the order they
// were given; the first that answers a fast initialisation answers it.
class VehicleNetwork final : public VehicleSide {
public:
    explicit VehicleNetwork(std::vector<std::shared_ptr<VehicleSide>> members);

    void on_channel_opened(std::uint8_t channel, std::uint32_t flags, std::uint32_t baud) override;
    void on_channel_closed(std::uint8_t channel) override;
    void on_transmit_start(const Transmission& message) override;
    void on_transmit(const Transmission& message) override;
    void on_filter(std::uint8_t channel, const CableFilter& filter) override;
    void on_config(std::uint8_t channel, std::uint32_t parameter, std::uint32_t value) override;
    std::optional<std::vector<std::uint8_t>> on_fast_init(std::uint8_t channel,
                                                          std::span<const std::uint8_t> request) override;

private:
    const std::vector<std::shared_ptr<VehicleSide>> members_;
};

}  // namespace vexo::sim
