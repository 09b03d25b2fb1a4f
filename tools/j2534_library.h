#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

#include "tool_error.h"
#include "vexo/j2534.h"

namespace vexo::tools {

// The fourteen exported functions, as an application binds them at run time.
struct PassThruFunctions {
    decltype(&::PassThruOpen) open;
    decltype(&::PassThruClose) close;
    decltype(&::PassThruConnect) connect;
    decltype(&::PassThruDisconnect) disconnect;
    decltype(&::PassThruReadMsgs) read_msgs;
    decltype(&::PassThruWriteMsgs) write_msgs;
    decltype(&::PassThruStartPeriodicMsg) start_periodic_msg;
    decltype(&::PassThruStopPeriodicMsg) stop_periodic_msg;
    decltype(&::PassThruStartMsgFilter) start_msg_filter;
    decltype(&::PassThruStopMsgFilter) stop_msg_filter;
    decltype(&::PassThruSetProgrammingVoltage) set_programming_voltage;
    decltype(&::PassThruReadVersion) read_version;
    decltype(&::PassThruGetLastError) get_last_error;
    decltype(&::PassThruIoctl) ioctl;
};

// A loaded J2534 04.04 library. Stays loaded until the process ends.
class J2534Library {
public:
    // Fails when the file cannot be loaded or lacks any of the fourteen functions.
    static Result<J2534Library> load(const std::filesystem::path& path);

    const PassThruFunctions& fn() const { return fn_; }
    const std::filesystem::path& path() const { return path_; }

    // PassThruGetLastError's text, or a note when the library gives none.
    std::string last_error_text() const;
    // The error for a call that returned `status`: its name, the status and the library's text.
    ToolError call_failure(std::string_view call, std::uint32_t status) const;

private:
    J2534Library(std::filesystem::path path, PassThruFunctions fn) : path_(std::move(path)), fn_(fn) {}

    std::filesystem::path path_;
    PassThruFunctions fn_;
};

}  // namespace vexo::tools
