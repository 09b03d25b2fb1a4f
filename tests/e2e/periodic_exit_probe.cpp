// An application that lets go of the library while a periodic message runs, without
// PassThruClose: it unloads the library, which the sender's thread must keep mapped, sees the
// sends go on, and exits while they still do (and are logged). The process must end normally.
#ifdef _WIN32
#include <windows.h>
#else
#include <dlfcn.h>
#endif

#include <chrono>
#include <cstdio>
#include <thread>

#include "passthru_records.h"
#include "sim/vexo_sim_api.h"
#include "test_process.h"

using namespace vexo::e2e;

int main() {
    const auto library = load_passthru_library(VEXO_E2E_LIBRARY);
    const auto usb = bound_usb_library();
    if (!library || !usb) return std::puts("the library or its libusb did not load"), 1;
    J2534_FUNCTIONS pt{};
#define VEXO_PROBE_RESOLVE(name, parameters) \
    pt.name = reinterpret_cast<decltype(pt.name)>(library_symbol(*library, #name));
    VEXO_J2534_FUNCTIONS(VEXO_PROBE_RESOLVE)
    const auto attach =
        reinterpret_cast<decltype(&vexo_sim_attach_cables)>(library_symbol(*usb, "vexo_sim_attach_cables"));
    const auto written =
        reinterpret_cast<decltype(&vexo_sim_written_bytes)>(library_symbol(*usb, "vexo_sim_written_bytes"));
    attach(1);
    J2534_ULONG device = 0, channel = 0, id = 0;
    PASSTHRU_MSG msg = passthru_msg(CAN, 0, {0x00, 0x00, 0x07, 0xDF, 0x02, 0x3E, 0x80});
    if (pt.PassThruOpen(nullptr, &device) != STATUS_NOERROR ||
        pt.PassThruConnect(device, CAN, 0, 500000, &channel) != STATUS_NOERROR ||
        pt.PassThruStartPeriodicMsg(channel, &msg, &id, 5) != STATUS_NOERROR) {
        return std::puts("the periodic message did not start"), 1;
    }
#ifdef _WIN32
    FreeLibrary(static_cast<HMODULE>(*library));
#else
    dlclose(*library);
#endif
    const std::size_t before = written(nullptr, 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    const std::size_t after = written(nullptr, 0);
    std::printf("%zu bytes sent in the 200 ms after the library was unloaded\n", after - before);
    return after > before ? 0 : 1;
}
