#include "sim/vehicle_demo.h"

#include "sim/vehicle_network.h"

namespace vexo::sim {

DemoVehicle install_demo_vehicle(CableFirmware& cable) {
    DemoVehicle demo{std::make_shared<EngineEcu>(cable), std::make_shared<KlineEcu>(cable)};
    cable.set_filtering(true);
    cable.set_battery_millivolts(12600);
    // Without a K-line ECU that wakes, a fast initialisation gets no answer at all.
    cable.set_fast_init_response({});
    cable.set_vehicle(
        std::make_shared<VehicleNetwork>(std::vector<std::shared_ptr<VehicleSide>>{demo.engine, demo.kline}));
    return demo;
}

}  // namespace vexo::sim
