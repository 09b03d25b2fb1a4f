#include "j2534_library.h"

#include <array>

#include "dynamic_library.h"
#include "library_location.h"
#include "status_names.h"

namespace vexo::tools {

namespace {

template <class Fn>
bool bind(const DynamicLibrary& library, const char* name, Fn& out, std::string& missing) {
    void* address = library.symbol(name);
    if (address == nullptr) {
        if (!missing.empty()) missing += ", ";
        missing += name;
        return false;
    }
    out = reinterpret_cast<Fn>(address);
    return true;
}

}  // namespace

Result<J2534Library> J2534Library::load(const std::filesystem::path& path) {
    auto library = DynamicLibrary::load(path, false);
    if (!library) return tool_failure("cannot load J2534 library: " + library.error());

    PassThruFunctions fn{};
    std::string missing;
    bind(*library, "PassThruOpen", fn.open, missing);
    bind(*library, "PassThruClose", fn.close, missing);
    bind(*library, "PassThruConnect", fn.connect, missing);
    bind(*library, "PassThruDisconnect", fn.disconnect, missing);
    bind(*library, "PassThruReadMsgs", fn.read_msgs, missing);
    bind(*library, "PassThruWriteMsgs", fn.write_msgs, missing);
    bind(*library, "PassThruStartPeriodicMsg", fn.start_periodic_msg, missing);
    bind(*library, "PassThruStopPeriodicMsg", fn.stop_periodic_msg, missing);
    bind(*library, "PassThruStartMsgFilter", fn.start_msg_filter, missing);
    bind(*library, "PassThruStopMsgFilter", fn.stop_msg_filter, missing);
    bind(*library, "PassThruSetProgrammingVoltage", fn.set_programming_voltage, missing);
    bind(*library, "PassThruReadVersion", fn.read_version, missing);
    bind(*library, "PassThruGetLastError", fn.get_last_error, missing);
    bind(*library, "PassThruIoctl", fn.ioctl, missing);
    if (!missing.empty()) {
        return tool_failure(path_text(path) + " is not a J2534 04.04 library: it lacks " + missing);
    }
    return J2534Library(path, fn);
}

std::string J2534Library::last_error_text() const {
    // The standard promises at most 80 bytes; the larger, zeroed buffer survives a library that writes more
    // or forgets the NUL.
    std::array<char, 512> buffer{};
    const std::uint32_t status = fn_.get_last_error(buffer.data());
    buffer.back() = '\0';
    if (status != STATUS_NOERROR) return "(PassThruGetLastError failed: " + status_name(status) + ")";
    const std::string text(buffer.data());
    return text.empty() ? "(no description)" : text;
}

ToolError J2534Library::call_failure(std::string_view call, std::uint32_t status) const {
    return ToolError{
        .call = std::string(call), .status = status, .text = last_error_text(), .hint = {}, .interrupted = false};
}

}  // namespace vexo::tools
