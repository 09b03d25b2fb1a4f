#include "obd_addressing.h"

#include <gtest/gtest.h>

#include <string>

namespace vexo::tools {
namespace {

std::string order(const std::vector<CanSetup>& setups) {
    std::string text;
    for (const CanSetup& s : setups) text += setup_text(s) + "|";
    return text;
}

TEST(ObdAddressing, SetupsAreTriedFromTheGivenOneThenTheCommonOnes) {
    EXPECT_EQ(order(setups_to_try({500000, false})),
              "500 kbit/s, 11-bit IDs|500 kbit/s, 29-bit IDs|250 kbit/s, 11-bit IDs|250 kbit/s, 29-bit IDs|");
    EXPECT_EQ(order(setups_to_try({250000, true})),
              "250 kbit/s, 29-bit IDs|500 kbit/s, 11-bit IDs|500 kbit/s, 29-bit IDs|250 kbit/s, 11-bit IDs|");
    // An uncommon rate is tried first, then all four common ones.
    EXPECT_EQ(order(setups_to_try({33333, false})),
              "33333 bit/s, 11-bit IDs|500 kbit/s, 11-bit IDs|500 kbit/s, 29-bit IDs|250 kbit/s, 11-bit IDs|250 kbit/s, "
              "29-bit IDs|");
}

TEST(ObdAddressing, ResponseAndRequestIdsPairAsIso15765Dash4Says) {
    EXPECT_EQ(functional_request_id(false), 0x7DFu);
    EXPECT_EQ(functional_request_id(true), 0x18DB33F1u);
    EXPECT_EQ(physical_request_id(0x7E8, false), 0x7E0u);
    EXPECT_EQ(physical_request_id(0x7EF, false), 0x7E7u);
    EXPECT_EQ(physical_request_id(0x18DAF110, true), 0x18DA10F1u);
    EXPECT_EQ(physical_request_id(0x18DAF118, true), 0x18DA18F1u);

    for (const std::uint32_t id : {0x7E8u, 0x7E9u, 0x7EFu}) EXPECT_TRUE(is_obd_response_id(id, false)) << id;
    for (const std::uint32_t id : {0x7E0u, 0x7DFu, 0x7F0u, 0x200u}) EXPECT_FALSE(is_obd_response_id(id, false)) << id;
    EXPECT_TRUE(is_obd_response_id(0x18DAF110, true));
    EXPECT_TRUE(is_obd_response_id(0x18DAF1FE, true));
    EXPECT_FALSE(is_obd_response_id(0x18DA10F1, true));
    EXPECT_FALSE(is_obd_response_id(0x18DB33F1, true));

    EXPECT_EQ(ecu_label(0x7E9, false), "7E9");
    EXPECT_EQ(ecu_label(0x18DAF118, true), "18DAF118");
}

}  // namespace
}  // namespace vexo::tools
