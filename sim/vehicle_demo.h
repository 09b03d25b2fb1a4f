#pragma once

#include <memory>

#include "sim/cable_firmware.h"
#include "sim/vehicle_engine_ecu.h"
#include "sim/vehicle_kline_ecu.h"

namespace vexo::sim {

// The ECUs of the demo car, for callers that want to look at them.
struct DemoVehicle {
    std::shared_ptr<EngineEcu> engine;
    std::shared_ptr<KlineEcu> kline;
};

// Puts the demo car behind the cable: the engine ECU on CAN and ISO15765 at 500 kbit/s
// (7E0 and 7DF in, 7E8 out), the KWP2000 ECU at address 10 on the ISO14230 K-line at
// 10400 baud, 12.6 V on pin 16, and the J2534 filter rules on every channel, so nothing is
// delivered until a filter passes it. A fast initialisation on the ISO9141 channel finds
// no ECU. Any earlier vehicle is replaced; attached traffic is left alone.
DemoVehicle install_demo_vehicle(CableFirmware& cable);

}  // namespace vexo::sim
