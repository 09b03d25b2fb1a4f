#include "sim_cable.h"

#include "dynamic_library.h"
#include "library_location.h"

namespace vexo::tools {

namespace {

// The stand-in's own signatures: calling through any other type reads a result that was never returned.
using ResetFn = void (*)();
using AttachCablesFn = unsigned (*)(unsigned);
using SetVehicleFn = int (*)(const char*);

std::string vehicle_names() {
    std::string names;
    for (const SimVehicle& vehicle : kSimVehicles) names += (names.empty() ? "" : ", ") + std::string(vehicle.name);
    return names;
}

}  // namespace

VoidResult attach_simulated_cable(const Options& options) {
    std::filesystem::path path;
    if (options.sim_library) {
        path = *options.sim_library;
    } else {
        const auto candidates = sim_usb_candidates(executable_directory(), kUsbLibraryFileName);
        const auto found = first_existing(candidates);
        if (!found)
            return tool_failure("simulated cable not found (looked for " + path_list(candidates) +
                                "); give it with --sim-lib PATH");
        path = *found;
    }
    const auto library = DynamicLibrary::load(path, true);
    if (!library) return tool_failure("cannot load the simulated cable: " + library.error());

    const auto reset = reinterpret_cast<ResetFn>(library->symbol("vexo_sim_reset"));
    const auto attach = reinterpret_cast<AttachCablesFn>(library->symbol("vexo_sim_attach_cables"));
    const auto set_vehicle = reinterpret_cast<SetVehicleFn>(library->symbol("vexo_sim_set_vehicle"));
    if (reset == nullptr || attach == nullptr || set_vehicle == nullptr) {
        return tool_failure(path_text(path) + " is not the simulated cable (a release ships the real " +
                            std::string(kUsbLibraryFileName) + "; the simulated one comes with test builds)");
    }
    reset();
    // With no cable attached the library meets the same "not found" as on a machine without one.
    if (options.sim_cables > 0) attach(options.sim_cables);
    const std::string vehicle = options.sim_vehicle.value_or(std::string(kSimVehicles[0].name));
    if (set_vehicle(vehicle.c_str()) < 0) {
        auto refused = usage_failure("unknown simulated vehicle '" + vehicle + "' (known: " + vehicle_names() + ")");
        refused.error().hint = "Try 'vexo --help'.";
        return refused;
    }
    return {};
}

}  // namespace vexo::tools
