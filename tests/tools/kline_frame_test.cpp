#include "kline_frame.h"

#include <gtest/gtest.h>

#include <array>
#include <vector>

namespace vexo::tools {
namespace {

using Bytes = std::vector<std::uint8_t>;
using Keys = std::array<std::uint8_t, 2>;

TEST(KlineFrame, RequestsCarryLengthAndAddressesInTheHeader) {
    EXPECT_EQ(kline_request(0x33, 0xF1, Bytes{0x81}), (Bytes{0xC1, 0x33, 0xF1, 0x81}));
    EXPECT_EQ(kline_request(0x33, 0xF1, Bytes{0x01, 0x00}), (Bytes{0xC2, 0x33, 0xF1, 0x01, 0x00}));
}

TEST(KlineFrame, PayloadWithoutHeaderOrChecksum) {
    EXPECT_EQ(kline_payload(Bytes{0x86, 0xF1, 0x10, 0x41, 0x00, 0xBE, 0x3F, 0xA8, 0x13, 0x5E}),
              (Bytes{0x41, 0x00, 0xBE, 0x3F, 0xA8, 0x13}));
    // Without the checksum, as some libraries deliver it.
    EXPECT_EQ(kline_payload(Bytes{0x82, 0xF1, 0x10, 0x50, 0x81}), (Bytes{0x50, 0x81}));
    // Length 0 in the format byte: a separate length byte follows the addresses.
    EXPECT_EQ(kline_payload(Bytes{0x80, 0xF1, 0x10, 0x02, 0x7E, 0x00, 0xCC}), (Bytes{0x7E, 0x00}));
    // No address bytes.
    EXPECT_EQ(kline_payload(Bytes{0x02, 0x41, 0x0D, 0x50}), (Bytes{0x41, 0x0D}));
}

TEST(KlineFrame, FramesShorterThanTheirHeaderSays) {
    EXPECT_EQ(kline_payload(Bytes{0x86, 0xF1, 0x10, 0x41}), std::nullopt);
    EXPECT_EQ(kline_payload(Bytes{0x80, 0xF1, 0x10}), std::nullopt);
    EXPECT_EQ(kline_payload(Bytes{}), std::nullopt);
}

TEST(KlineFrame, KeyBytesFromWholeFrameOrBareServiceData) {
    EXPECT_EQ(start_communication_key_bytes(Bytes{0x83, 0xF1, 0x10, 0xC1, 0xEF, 0x8F, 0xC3}), (Keys{0xEF, 0x8F}));
    EXPECT_EQ(start_communication_key_bytes(Bytes{0xC1, 0xEF, 0x8F}), (Keys{0xEF, 0x8F}));
    EXPECT_EQ(start_communication_key_bytes(Bytes{0xC1, 0x6B, 0x8F, 0x00}), (Keys{0x6B, 0x8F}));
}

TEST(KlineFrame, NoKeyBytesWithoutPositiveAnswer) {
    EXPECT_EQ(start_communication_key_bytes(Bytes{0x83, 0xF1, 0x10, 0x7F, 0x81, 0x10, 0x00}), std::nullopt);
    EXPECT_EQ(start_communication_key_bytes(Bytes{0xC1, 0xEF}), std::nullopt);
    EXPECT_EQ(start_communication_key_bytes(Bytes{}), std::nullopt);
}

}  // namespace
}  // namespace vexo::tools
