#include "tactrix/libusb_api.h"

namespace vexo::tactrix {

const LibusbApi& linked_libusb_api() {
    static constexpr LibusbApi api{
        .init = &libusb_init,
        .get_device_list = &libusb_get_device_list,
        .free_device_list = &libusb_free_device_list,
        .get_device_descriptor = &libusb_get_device_descriptor,
        .open = &libusb_open,
        .close = &libusb_close,
        .get_device = &libusb_get_device,
        .set_auto_detach_kernel_driver = &libusb_set_auto_detach_kernel_driver,
        .set_configuration = &libusb_set_configuration,
        .detach_kernel_driver = &libusb_detach_kernel_driver,
        .claim_interface = &libusb_claim_interface,
        .release_interface = &libusb_release_interface,
        .set_interface_alt_setting = &libusb_set_interface_alt_setting,
        .get_active_config_descriptor = &libusb_get_active_config_descriptor,
        .free_config_descriptor = &libusb_free_config_descriptor,
        .bulk_transfer = &libusb_bulk_transfer,
    };
    return api;
}

std::expected<const LibusbApi*, std::string> bound_libusb_api() { return &linked_libusb_api(); }

}  // namespace vexo::tactrix
