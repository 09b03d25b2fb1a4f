#include <gtest/gtest.h>

#include <cstdint>

#include "core/self_registration.h"
#include "log_dir_fixture.h"

namespace vexo {
namespace {

// Only the Windows DLL registers itself; elsewhere both calls fail cleanly and say why.
class PosixSelfRegistration : public testing::LogDirTest {};

TEST_F(PosixSelfRegistration, ReportsNotSupported) {
    EXPECT_EQ(static_cast<std::uint32_t>(register_server()), 0x80070032u);
    EXPECT_EQ(static_cast<std::uint32_t>(unregister_server()), 0x80070032u);
    EXPECT_EQ(log_contents(),
              "[j2534] DllRegisterServer ERR own_module_path error 50\n"
              "[j2534] DllUnregisterServer ERR delete_machine_key error 50\n");
}

}  // namespace
}  // namespace vexo
