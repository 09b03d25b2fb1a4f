#include "tactrix/libusb_api.h"

#include <mutex>
#include <optional>

#include "core/transport_error.h"
#include "platform/module_path.h"

namespace vexo::tactrix {

namespace {

template <class Function>
bool bind(void* library, const char* name, Function& into) {
    into = reinterpret_cast<Function>(platform::library_symbol(library, name));
    return into != nullptr;
}

}  // namespace

std::expected<LibusbApi, std::string> load_libusb_api(const std::string& file_name) {
    const platform::SharedLibraryLoad load = platform::load_library_beside_self(file_name);
    if (load.handle == nullptr) return std::unexpected(file_name + " not found in " + load.searched);

    LibusbApi api{};
    void* const lib = load.handle;
    const char* missing = nullptr;
    auto need = [&](const char* name, auto& into) {
        if (missing == nullptr && !bind(lib, name, into)) missing = name;
    };
    need("libusb_init", api.init);
    need("libusb_get_device_list", api.get_device_list);
    need("libusb_free_device_list", api.free_device_list);
    need("libusb_get_device_descriptor", api.get_device_descriptor);
    need("libusb_open", api.open);
    need("libusb_close", api.close);
    need("libusb_get_device", api.get_device);
    need("libusb_set_auto_detach_kernel_driver", api.set_auto_detach_kernel_driver);
    need("libusb_set_configuration", api.set_configuration);
    need("libusb_detach_kernel_driver", api.detach_kernel_driver);
    need("libusb_claim_interface", api.claim_interface);
    need("libusb_release_interface", api.release_interface);
    need("libusb_set_interface_alt_setting", api.set_interface_alt_setting);
    need("libusb_get_active_config_descriptor", api.get_active_config_descriptor);
    need("libusb_free_config_descriptor", api.free_config_descriptor);
    need("libusb_bulk_transfer", api.bulk_transfer);
    if (missing != nullptr) return std::unexpected(file_name + " lacks " + missing);
    return api;
}

std::expected<UsbContext, TransportError> create_usb_context(const LibusbApi& api) {
    libusb_context* context = nullptr;
    const int rc = api.init(&context);
    if (rc != 0) {
        return std::unexpected(TransportError::io("Can't init Global usb context, error " +
                                                  std::string(usb_error_kind_name(usb_error_kind_from_code(rc)))));
    }
    return UsbContext{&api, context};
}

std::expected<UsbContext, TransportError> usb_context() {
    // Never destroyed: a context torn down during process exit would pull libusb out from
    // under an application still closing its cable.
    static std::mutex* const mutex = new std::mutex;
    static std::optional<UsbContext>* const made = new std::optional<UsbContext>;
    std::lock_guard lock(*mutex);
    if (*made) return **made;
    const auto api = bound_libusb_api();
    if (!api) return std::unexpected(TransportError::io(api.error()));
    auto created = create_usb_context(**api);
    if (created) *made = *created;
    return created;
}

}  // namespace vexo::tactrix
