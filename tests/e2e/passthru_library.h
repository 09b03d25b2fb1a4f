#pragma once

#include <string>

#include "vexo/j2534.h"

namespace vexo::e2e {

// The fourteen functions of the shipped library, resolved by name as an application does.
struct PassThruLibrary {
    decltype(&::PassThruOpen) open = nullptr;
    decltype(&::PassThruClose) close = nullptr;
    decltype(&::PassThruConnect) connect = nullptr;
    decltype(&::PassThruDisconnect) disconnect = nullptr;
    decltype(&::PassThruReadMsgs) read_msgs = nullptr;
    decltype(&::PassThruWriteMsgs) write_msgs = nullptr;
    decltype(&::PassThruStartPeriodicMsg) start_periodic_msg = nullptr;
    decltype(&::PassThruStopPeriodicMsg) stop_periodic_msg = nullptr;
    decltype(&::PassThruStartMsgFilter) start_msg_filter = nullptr;
    decltype(&::PassThruStopMsgFilter) stop_msg_filter = nullptr;
    decltype(&::PassThruSetProgrammingVoltage) set_programming_voltage = nullptr;
    decltype(&::PassThruReadVersion) read_version = nullptr;
    decltype(&::PassThruGetLastError) get_last_error = nullptr;
    decltype(&::PassThruIoctl) ioctl = nullptr;

    // Why loading failed; empty when every function was found.
    std::string error;
};

// Loads the library once per process (see test_process.h): the path in VEXO_E2E_LIBRARY if set,
// else the one this test was built against.
const PassThruLibrary& passthru_library();

}  // namespace vexo::e2e
