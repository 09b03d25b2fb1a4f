#include <gtest/gtest.h>

#include <array>
#include <string>

#include "obd_decode.h"

namespace vexo::tools {
namespace {

std::string monitors_text(const MonitorStatus& status) {
    std::string text;
    for (const MonitorReadiness& m : status.monitors) {
        text += std::string(m.name) + (m.complete ? "+" : "-") + ",";
    }
    return text;
}

TEST(ObdStatus, MilCountAndSparkIgnitionMonitors) {
    // MIL on with 2 codes; misfire and fuel system available, fuel system incomplete; catalyst,
    // evaporative system, oxygen sensor and its heater available, the oxygen sensor incomplete.
    const std::array<std::uint8_t, 4> data = {0x82, 0x23, 0x65, 0x20};
    const auto status = decode_monitor_status(data);
    ASSERT_TRUE(status);
    EXPECT_TRUE(status->mil_on);
    EXPECT_EQ(status->dtc_count, 2u);
    EXPECT_FALSE(status->compression_ignition);
    EXPECT_EQ(monitors_text(*status),
              "misfire+,fuel system-,catalyst+,evaporative system+,oxygen sensor-,oxygen sensor heater+,");
}

TEST(ObdStatus, CompressionIgnitionHasItsOwnMonitorsAndShortDataIsRefused) {
    const std::array<std::uint8_t, 4> data = {0x00, 0x0C, 0xC1, 0x80};
    const auto status = decode_monitor_status(data);
    ASSERT_TRUE(status);
    EXPECT_FALSE(status->mil_on);
    EXPECT_EQ(status->dtc_count, 0u);
    EXPECT_TRUE(status->compression_ignition);
    EXPECT_EQ(monitors_text(*status), "components+,NMHC catalyst+,PM filter+,EGR/VVT system-,");
    EXPECT_FALSE(decode_monitor_status(std::array<std::uint8_t, 3>{0x80, 0x07, 0x65}));
}

TEST(ObdStatus, StandardNames) {
    EXPECT_EQ(obd_standard_name(0x03), "OBD and OBD-II");
    EXPECT_EQ(obd_standard_name(0x06), "EOBD");
    EXPECT_EQ(obd_standard_name(0x0D), "JOBD, EOBD and OBD-II");
    EXPECT_EQ(obd_standard_name(0x00), "");
    EXPECT_EQ(obd_standard_name(0xFB), "");
}

}  // namespace
}  // namespace vexo::tools
