#include "sim/cable_frames.h"

#include <gtest/gtest.h>

#include <stdexcept>

#include "sim/cable_channel.h"

namespace vexo::sim {
namespace {

TEST(CableFramesTest, DataFrameCarriesTimestampOnlyOnCanChannels) {
    const Bytes payload{0x01, 0x02, 0x03, 0x04};
    EXPECT_EQ(data_frame(6, status::normal_start, payload, 1000),
              (Bytes{'a', 'r', '6', 9, 0x80, 0x00, 0x00, 0x03, 0xE8, 0x01, 0x02, 0x03, 0x04}));
    EXPECT_EQ(data_frame(3, status::normal, payload, 1000), (Bytes{'a', 'r', '3', 5, 0x00, 0x01, 0x02, 0x03, 0x04}));
    EXPECT_EQ(data_frame(4, status::rx_end, {}), (Bytes{'a', 'r', '4', 1, 0x40}));
}

TEST(CableFramesTest, DataFrameRefusesWhatNoLengthByteCanSay) {
    EXPECT_NO_THROW(data_frame(5, status::normal, Bytes(250)));
    EXPECT_THROW(data_frame(5, status::normal, Bytes(251)), std::length_error);
    EXPECT_NO_THROW(data_frame(3, status::normal, Bytes(254)));
    EXPECT_THROW(data_frame(3, status::normal, Bytes(255)), std::length_error);
    EXPECT_THROW(data_frame(7, status::normal, {}), std::invalid_argument);
}

TEST(CableFramesTest, TextFrames) {
    EXPECT_EQ(ack_frame(), to_bytes("aro\r\n"));
    EXPECT_EQ(ack_frame(3), to_bytes("aro3\r\n"));
    EXPECT_EQ(identify_frame("Openport 2.0"), to_bytes("ariOpenport 2.0\r\n"));
    EXPECT_EQ(error_frame("channel not open"), to_bytes("arechannel not open\r\n"));
    EXPECT_EQ(filter_ack_frame(12), to_bytes("arf12\r\n"));
    EXPECT_EQ(fast_init_ack_frame(4, 7), to_bytes("ary4 7\r\n"));
    EXPECT_EQ(analog_frame(16, 12450), to_bytes("arr16 12450\r\n"));
}

TEST(CableFramesTest, CanMessageSplitsIntoChunksRepeatingTheId) {
    const Bytes data{0x10, 0x0B, 0x62, 0xF1, 0x90, 0x57, 0x30, 0x4C, 0x30, 0x30, 0x30};
    Bytes expected{'a', 'r', '6', 17, 0x00, 0, 0, 0, 5, 0x00, 0x00, 0x07, 0xE8};
    append(expected, std::span(data).first(8));
    append(expected, Bytes{'a', 'r', '6', 12, 0x40, 0, 0, 0, 5, 0x00, 0x00, 0x07, 0xE8, 0x30, 0x30, 0x30});
    EXPECT_EQ(can_message_frames(6, 0x7E8, data, 5), expected);

    EXPECT_EQ(can_message_frames(5, 0x123, Bytes(8, 0xAA), 0).size(), 21u);
    EXPECT_EQ(can_message_frames(5, 0x123, {}, 1), (Bytes{'a', 'r', '5', 9, 0x40, 0, 0, 0, 1, 0, 0, 0x01, 0x23}));
}

TEST(CableFramesTest, KlineMessageIsStartBodyEnd) {
    EXPECT_EQ(kline_message_frames(4, Bytes{0x83, 0xF1, 0x10}),
              (Bytes{'a', 'r', '4', 1, 0x80, 'a', 'r', '4', 4, 0x00, 0x83, 0xF1, 0x10, 'a', 'r', '4', 1, 0x40}));
    // A body longer than one frame holds is split over several Normal frames.
    const Bytes framed = kline_message_frames(3, Bytes(300, 0x55));
    ASSERT_EQ(framed.size(), 5u + (4 + 255) + (4 + 47) + 5u);
    EXPECT_EQ(framed[8], 255);
    EXPECT_EQ(framed[5 + 259 + 3], 47);
}

TEST(CableFramesTest, TxDoneCarriesTheCanIdOnlyOnCanChannels) {
    const Bytes sent{0x00, 0x00, 0x07, 0xDF, 0x02, 0x01, 0x00};
    EXPECT_EQ(tx_done_frame(6, sent, 0x01020304),
              (Bytes{'a', 'r', '6', 9, 0x10, 0x01, 0x02, 0x03, 0x04, 0x00, 0x00, 0x07, 0xDF}));
    EXPECT_EQ(tx_done_frame(4, sent, 77), (Bytes{'a', 'r', '4', 1, 0x10}));
}

TEST(CableFiltersTest, BlockWinsAndSomethingMustPass) {
    const CableFilter pass{1, pass_filter, 64, {0xFF, 0xFF, 0xFF, 0xF0}, {0x00, 0x00, 0x07, 0xE0}, {}};
    const CableFilter block{2, block_filter, 64, {0xFF, 0xFF, 0xFF, 0xFF}, {0x00, 0x00, 0x07, 0xE9}, {}};
    const Bytes answer{0x00, 0x00, 0x07, 0xE8, 0x41};
    const Bytes blocked{0x00, 0x00, 0x07, 0xE9, 0x41};
    const Bytes other{0x00, 0x00, 0x01, 0x00};
    const std::vector filters{pass, block};
    EXPECT_TRUE(filters_pass(filters, answer));
    EXPECT_FALSE(filters_pass(filters, blocked));
    EXPECT_FALSE(filters_pass(filters, other));
    EXPECT_FALSE(filters_pass({}, answer));
    EXPECT_FALSE(filter_matches(pass, Bytes{0x00, 0x00, 0x07}));
}

}  // namespace
}  // namespace vexo::sim
