#include "tactrix/libusb_api.h"

namespace vexo::tactrix {

std::expected<const LibusbApi*, std::string> bound_libusb_api() {
    // Windows resolves a DLL's imports from the application's folder, not ours, so a linked
    // libusb would stop most applications from loading us at all.
    static const std::expected<LibusbApi, std::string> api = load_libusb_api("libusb-1.0.dll");
    if (!api) return std::unexpected(api.error());
    return &*api;
}

}  // namespace vexo::tactrix
