#include "tactrix/rx_frame.h"

namespace vexo::tactrix {

DataKind data_kind_of(std::uint8_t status) {
    switch (status & 0xF5) {
        case 0x00: return DataKind::Normal;
        case 0x10: return DataKind::TxDone;
        case 0x20: return DataKind::TxLoopback;
        case 0x40: return DataKind::RxEnd;
        case 0x44: return DataKind::RxEndExtended;
        case 0x60: return DataKind::LoopbackEnd;
        case 0x80: return DataKind::NormalStart;
        case 0xA0: return DataKind::TxLoopbackStart;
        default: return DataKind::other(status);
    }
}

}  // namespace vexo::tactrix
