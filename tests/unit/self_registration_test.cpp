#include "core/self_registration.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

namespace vexo {
namespace {

using platform::RegistryValue;

TEST(DiscoveryKey, NamesTheDllUnderPassThruSupport) {
    const std::string dll = "C:\\Program Files (x86)\\vexo caf\xC3\xA9\\vexo_j2534_0404.dll";
    const platform::RegistryKey key = discovery_key(dll);
    EXPECT_EQ(key.path, "SOFTWARE\\PassThruSupport.04.04\\vexo - Tactrix Openport 2.0");
    EXPECT_EQ(key.path.substr(0, kDiscoveryParentPath.size() + 1), std::string(kDiscoveryParentPath) + "\\");
    // Exact types too: a protocol written as the text "1" reads as unsupported.
    const std::vector<RegistryValue> expected = {
        {"Name", std::string("Tactrix Openport 2.0 (vexo)")},
        {"Vendor", std::string("vexo")},
        {"FunctionLibrary", dll},
        {"ConfigApplication", std::string()},
        {"CAN", std::uint32_t{1}},
        {"ISO15765", std::uint32_t{1}},
        {"ISO9141", std::uint32_t{1}},
        {"ISO14230", std::uint32_t{1}},
        {"J1850VPW", std::uint32_t{0}},
        {"J1850PWM", std::uint32_t{0}},
        {"SCI_A_ENGINE", std::uint32_t{0}},
        {"SCI_A_TRANS", std::uint32_t{0}},
        {"SCI_B_ENGINE", std::uint32_t{0}},
        {"SCI_B_TRANS", std::uint32_t{0}},
    };
    EXPECT_EQ(key.values, expected);
}

TEST(SelfRegistrationResult, SystemErrorsBecomeWin32Hresults) {
    EXPECT_EQ(hresult_from_system_error(0), 0);
    EXPECT_EQ(static_cast<std::uint32_t>(hresult_from_system_error(2)), 0x80070002u);     // file not found
    EXPECT_EQ(static_cast<std::uint32_t>(hresult_from_system_error(5)), 0x80070005u);     // access denied
    EXPECT_EQ(static_cast<std::uint32_t>(hresult_from_system_error(1113)), 0x80070459u);  // no Unicode text
    EXPECT_EQ(static_cast<std::uint32_t>(hresult_from_system_error(0x12345u)), 0x80072345u);
    // Already an HRESULT (negative): passed through.
    EXPECT_EQ(static_cast<std::uint32_t>(hresult_from_system_error(0x80004005u)), 0x80004005u);
}

}  // namespace
}  // namespace vexo
