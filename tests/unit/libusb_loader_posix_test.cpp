#include <gtest/gtest.h>

#include "tactrix/libusb_api.h"

namespace vexo::tactrix {
namespace {

TEST(LibusbLoader, MissingLibraryNamesItAndWhereItWasSought) {
    const auto api = load_libusb_api("libvexo-absent.so.0");
    ASSERT_FALSE(api.has_value());
    const std::string& text = api.error();
    EXPECT_TRUE(text.starts_with("libvexo-absent.so.0 not found in /")) << text;
    EXPECT_TRUE(text.ends_with("/ and the system folders")) << text;
}

TEST(LibusbLoader, LibraryWithoutLibusbNamesTheFirstMissingFunction) {
    const auto api = load_libusb_api("libc.so.6");
    ASSERT_FALSE(api.has_value());
    EXPECT_EQ(api.error(), "libc.so.6 lacks libusb_init");
}

TEST(LibusbLoader, BindsEveryFunctionOfTheLoadedCopyNotTheLinkedOne) {
    const auto api = load_libusb_api("libusb-1.0.so.0");
    ASSERT_TRUE(api.has_value()) << api.error();
    const void* const entries[] = {
        reinterpret_cast<const void*>(api->init),
        reinterpret_cast<const void*>(api->get_device_list),
        reinterpret_cast<const void*>(api->free_device_list),
        reinterpret_cast<const void*>(api->get_device_descriptor),
        reinterpret_cast<const void*>(api->open),
        reinterpret_cast<const void*>(api->close),
        reinterpret_cast<const void*>(api->get_device),
        reinterpret_cast<const void*>(api->set_auto_detach_kernel_driver),
        reinterpret_cast<const void*>(api->set_configuration),
        reinterpret_cast<const void*>(api->detach_kernel_driver),
        reinterpret_cast<const void*>(api->claim_interface),
        reinterpret_cast<const void*>(api->release_interface),
        reinterpret_cast<const void*>(api->set_interface_alt_setting),
        reinterpret_cast<const void*>(api->get_active_config_descriptor),
        reinterpret_cast<const void*>(api->free_config_descriptor),
        reinterpret_cast<const void*>(api->bulk_transfer),
    };
    for (const void* entry : entries) EXPECT_NE(entry, nullptr);
    // This binary links the simulated cable; the loaded table must not point back at it.
    EXPECT_NE(reinterpret_cast<const void*>(api->init), reinterpret_cast<const void*>(&libusb_init));
}

}  // namespace
}  // namespace vexo::tactrix
