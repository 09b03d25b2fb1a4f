#include "core/self_registration.h"

#include <new>
#include <string>
#include <utility>
#include <vector>

#include "core/diagnostic_log.h"
#include "core/discovery.h"
#include "core/passthru_error.h"
#include "core/protocols.h"
#include "core/text_format.h"
#include "platform/module_path.h"

namespace vexo {
namespace {

using platform::RegistryValue;

std::int32_t failure(std::string_view function, const platform::SystemError& error) {
    log_line("[j2534] " + std::string(function) + " ERR " + std::string(error.call) + " error " +
             text::dec(error.code));
    return error.code == 0 ? kHresultUnexpected : hresult_from_system_error(error.code);
}

// Turns anything thrown into an HRESULT: nothing may leave the exported function.
template <typename Body>
std::int32_t guarded(Body body) noexcept {
    return contain_faults(body, [](const std::exception* fault) {
        return dynamic_cast<const std::bad_alloc*>(fault) != nullptr ? kHresultOutOfMemory : kHresultUnexpected;
    });
}

}  // namespace

platform::RegistryKey discovery_key(std::string function_library) {
    std::vector<RegistryValue> values = {
        {"Name", std::string(kDiscoveryName)},
        {"Vendor", std::string(kDiscoveryVendor)},
        {"FunctionLibrary", std::move(function_library)},
        {"ConfigApplication", std::string()},
    };
    // The protocols the cable carries are 1, the others 0.
    for (const ProtocolFacts& protocol : kProtocols) {
        values.push_back({std::string(protocol.name), std::uint32_t{protocol.carried() ? 1u : 0u}});
    }
    return {std::string(kDiscoveryKeyPath), std::move(values)};
}

std::int32_t hresult_from_system_error(std::uint32_t code) {
    if (static_cast<std::int32_t>(code) <= 0) return static_cast<std::int32_t>(code);  // as the macro does
    return static_cast<std::int32_t>((code & 0xFFFFu) | (7u << 16) | 0x80000000u);     // FACILITY_WIN32
}

std::int32_t register_server() {
    return guarded([] {
        const auto path = platform::own_module_path();
        if (!path) return failure("DllRegisterServer", path.error());
        const auto written = platform::write_machine_key(discovery_key(*path));
        if (!written) return failure("DllRegisterServer", written.error());
        log_line("[j2534] DllRegisterServer OK HKLM\\" + std::string(kDiscoveryKeyPath) + " FunctionLibrary=" + *path);
        return kHresultOk;
    });
}

std::int32_t unregister_server() {
    return guarded([] {
        const auto deleted = platform::delete_machine_key(kDiscoveryKeyPath);
        if (!deleted) return failure("DllUnregisterServer", deleted.error());
        log_line("[j2534] DllUnregisterServer OK HKLM\\" + std::string(kDiscoveryKeyPath));
        return kHresultOk;
    });
}

}  // namespace vexo
