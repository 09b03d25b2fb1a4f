// Stands in for the simulated cable's libusb in the client's tests: records the control calls in the
// file named by VEXO_FAKE_TRACE and knows only the vehicle "demo".
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

void trace(const char* line, const char* argument) {
    const char* path = std::getenv("VEXO_FAKE_TRACE");
    if (path == nullptr) return;
    if (FILE* file = std::fopen(path, "a")) {
        std::fprintf(file, "%s%s\n", line, argument);
        std::fclose(file);
    }
}

}  // namespace

extern "C" {

// The simulated cable's signatures (sim/vexo_sim_api.h).
__attribute__((visibility("default"))) void vexo_sim_reset(void) { trace("vexo_sim_reset", ""); }

__attribute__((visibility("default"))) unsigned vexo_sim_attach_cables(unsigned n) {
    trace("vexo_sim_attach_cables ", n == 1 ? "1" : "other");
    return 0;
}

__attribute__((visibility("default"))) int vexo_sim_set_vehicle(const char* name) {
    trace("vexo_sim_set_vehicle ", name);
    return std::strcmp(name, "demo") == 0 ? 0 : -1;
}

}  // extern "C"
