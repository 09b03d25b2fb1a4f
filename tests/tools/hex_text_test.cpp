#include "hex_text.h"

#include <gtest/gtest.h>

#include <string_view>
#include <vector>

#include "tool_error.h"

namespace vexo::tools {
namespace {

using Bytes = std::vector<std::uint8_t>;

TEST(HexText, ParsesBytesInTheWaysPeopleTypeThem) {
    const std::vector<std::string_view> separate = {"22", "F1", "90"};
    EXPECT_EQ(parse_hex_bytes(separate), (Bytes{0x22, 0xF1, 0x90}));
    EXPECT_EQ(parse_hex_bytes("22F190"), (Bytes{0x22, 0xF1, 0x90}));
    EXPECT_EQ(parse_hex_bytes("22 f1 90"), (Bytes{0x22, 0xF1, 0x90}));
    EXPECT_EQ(parse_hex_bytes("0x22,0xF1:90"), (Bytes{0x22, 0xF1, 0x90}));
    const std::vector<std::string_view> mixed = {"3E", "0x00", "1001"};
    EXPECT_EQ(parse_hex_bytes(mixed), (Bytes{0x3E, 0x00, 0x10, 0x01}));
}

TEST(HexText, RefusesOddDigitsStrayCharactersAndNothing) {
    EXPECT_EQ(parse_hex_bytes("2F1"), std::nullopt);
    EXPECT_EQ(parse_hex_bytes("22 G1"), std::nullopt);
    EXPECT_EQ(parse_hex_bytes("0x"), std::nullopt);
    EXPECT_EQ(parse_hex_bytes(""), std::nullopt);
    EXPECT_EQ(parse_hex_bytes(" , "), std::nullopt);
    EXPECT_EQ(parse_hex_bytes(std::vector<std::string_view>{}), std::nullopt);
}

TEST(HexText, ParsesIdsAndDecimalNumbers) {
    EXPECT_EQ(parse_hex_u32("7E0"), 0x7E0u);
    EXPECT_EQ(parse_hex_u32("0x18DAF110"), 0x18DAF110u);
    EXPECT_EQ(parse_hex_u32("7e8"), 0x7E8u);
    EXPECT_EQ(parse_hex_u32(""), std::nullopt);
    EXPECT_EQ(parse_hex_u32("0x"), std::nullopt);
    EXPECT_EQ(parse_hex_u32("7E0 "), std::nullopt);
    EXPECT_EQ(parse_hex_u32("100000000"), std::nullopt);
    EXPECT_EQ(parse_decimal_u32("500000"), 500000u);
    EXPECT_EQ(parse_decimal_u32("-1"), std::nullopt);
    EXPECT_EQ(parse_decimal_u32("12ms"), std::nullopt);
    EXPECT_EQ(parse_decimal_u32("4294967296"), std::nullopt);
    // More than three digits make a 29-bit ID, whatever its value.
    EXPECT_EQ(parse_can_id("7FF"), (CanId{0x7FF, false}));
    EXPECT_EQ(parse_can_id("0x201"), (CanId{0x201, false}));
    EXPECT_EQ(parse_can_id("0201"), (CanId{0x201, true}));
    EXPECT_EQ(parse_can_id("800"), (CanId{0x800, true}));
    EXPECT_EQ(parse_can_id("20000000"), std::nullopt);
}

TEST(StatusNames, StandardNamesAndUnknownCodes) {
    EXPECT_EQ(status_name(0x00), "STATUS_NOERROR");
    EXPECT_EQ(status_name(0x08), "ERR_DEVICE_NOT_CONNECTED");
    EXPECT_EQ(status_name(0x09), "ERR_TIMEOUT");
    EXPECT_EQ(status_name(0x10), "ERR_BUFFER_EMPTY");
    EXPECT_EQ(status_name(0x17), "ERR_NO_FLOW_CONTROL");
    EXPECT_EQ(status_name(0x1A), "ERR_INVALID_DEVICE_ID");
    EXPECT_EQ(status_name(0x1B), "status 0x1B");
    EXPECT_EQ(status_name(0xDEADBEEF), "status 0xDEADBEEF");
}

}  // namespace
}  // namespace vexo::tools
