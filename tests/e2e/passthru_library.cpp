#include "passthru_library.h"

#include <cstdlib>

#include "test_process.h"

namespace vexo::e2e {

namespace {

template <class F>
void resolve(void* library, const char* name, F& into, std::string& error) {
    into = reinterpret_cast<F>(library_symbol(library, name));
    if (into == nullptr && error.empty()) error = std::string("the library does not export ") + name;
}

PassThruLibrary load() {
    PassThruLibrary lib;
    const char* configured = std::getenv("VEXO_E2E_LIBRARY");
    const char* path = configured != nullptr && *configured != '\0' ? configured : VEXO_E2E_LIBRARY;
    const auto loaded = load_passthru_library(path);
    if (!loaded) {
        lib.error = loaded.error();
        return lib;
    }
    void* handle = *loaded;
    resolve(handle, "PassThruOpen", lib.open, lib.error);
    resolve(handle, "PassThruClose", lib.close, lib.error);
    resolve(handle, "PassThruConnect", lib.connect, lib.error);
    resolve(handle, "PassThruDisconnect", lib.disconnect, lib.error);
    resolve(handle, "PassThruReadMsgs", lib.read_msgs, lib.error);
    resolve(handle, "PassThruWriteMsgs", lib.write_msgs, lib.error);
    resolve(handle, "PassThruStartPeriodicMsg", lib.start_periodic_msg, lib.error);
    resolve(handle, "PassThruStopPeriodicMsg", lib.stop_periodic_msg, lib.error);
    resolve(handle, "PassThruStartMsgFilter", lib.start_msg_filter, lib.error);
    resolve(handle, "PassThruStopMsgFilter", lib.stop_msg_filter, lib.error);
    resolve(handle, "PassThruSetProgrammingVoltage", lib.set_programming_voltage, lib.error);
    resolve(handle, "PassThruReadVersion", lib.read_version, lib.error);
    resolve(handle, "PassThruGetLastError", lib.get_last_error, lib.error);
    resolve(handle, "PassThruIoctl", lib.ioctl, lib.error);
    return lib;
}

}  // namespace

const PassThruLibrary& passthru_library() {
    // Never unloaded: an application keeps the library for its whole life, and so do the tests.
    static const PassThruLibrary* const lib = new PassThruLibrary(load());
    return *lib;
}

}  // namespace vexo::e2e
