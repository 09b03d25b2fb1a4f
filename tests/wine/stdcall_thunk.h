#pragma once

#include <cstdint>

// One call made the way a 32-bit Windows application calls a J2534 function: the arguments
// pushed right to left, the callee expected to pop them (__stdcall) and to keep EBX, ESI, EDI.
struct StdcallOutcome {
    std::int32_t esp_drift;  // ESP after the call minus ESP before the arguments: 0 when the callee popped them all
    std::uint32_t result;    // EAX
    std::uint32_t registers_kept;  // 1 when EBX, ESI and EDI came back as they went in
};

extern "C" void vexo_call_stdcall(const void* function, const std::uint32_t* args, std::uint32_t count,
                                  StdcallOutcome* outcome);
