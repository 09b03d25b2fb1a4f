#include "api/device_slot.h"

namespace vexo::api {

DeviceSlot& device_slot() {
    static DeviceSlot* const slot = new DeviceSlot;
    return *slot;
}

}  // namespace vexo::api
