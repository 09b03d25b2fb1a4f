#include "tactrix/channels.h"

#include <gtest/gtest.h>

namespace vexo::tactrix {
namespace {

RxFrame::Data frame(DataKind kind, std::vector<std::uint8_t> payload, std::uint32_t ts = 0) {
    return RxFrame::Data{std::move(payload), ts, kind, '6'};
}

TEST(MessageAssembly, CanChunksKeepTheCanIdOnce) {
    MessageAssembly m;
    EXPECT_EQ(feed_frame(m, frame(DataKind::Normal, {0, 0, 7, 0xE8, 1, 2, 3, 4}, 100), true), AssemblyStep::Open);
    EXPECT_EQ(feed_frame(m, frame(DataKind::RxEnd, {0, 0, 7, 0xE8, 5, 6, 7}, 200), true), AssemblyStep::Ended);
    const Message msg = complete_message(m, 6);
    EXPECT_EQ(msg.data, (std::vector<std::uint8_t>{0, 0, 7, 0xE8, 1, 2, 3, 4, 5, 6, 7}));
    EXPECT_EQ(msg.extra_data_index, 11u);
    EXPECT_EQ(msg.timestamp, 200u);
    EXPECT_EQ(msg.protocol_id, 6u);
    EXPECT_EQ(msg.rx_status, 0u);
    EXPECT_TRUE(m.data.empty());
    EXPECT_FALSE(m.continuation);
}

TEST(MessageAssembly, SingleCanFrameIsTheWholeEndFrame) {
    MessageAssembly m;
    EXPECT_EQ(feed_frame(m, frame(DataKind::RxEnd, {0, 0, 7, 0xE8, 0x41, 0x0D}, 5), true), AssemblyStep::Ended);
    EXPECT_EQ(m.data, (std::vector<std::uint8_t>{0, 0, 7, 0xE8, 0x41, 0x0D}));
}

TEST(MessageAssembly, ShortContinuationChunksAreNotStripped) {
    MessageAssembly m;
    feed_frame(m, frame(DataKind::Normal, {1, 2, 3, 4, 5}), true);
    feed_frame(m, frame(DataKind::Normal, {9, 9, 9}), true);  // 3 bytes: kept whole
    feed_frame(m, frame(DataKind::RxEnd, {8, 8, 8}), true);   // end with fewer than 4: kept whole
    EXPECT_EQ(m.data, (std::vector<std::uint8_t>{1, 2, 3, 4, 5, 9, 9, 9, 8, 8, 8}));
}

TEST(MessageAssembly, MessageThatNeverEndsKeepsOnlyWhatOneRecordDelivers) {
    MessageAssembly m;
    std::vector<std::uint8_t> chunk(254, 0x5A);
    chunk[0] = 0x00, chunk[1] = 0x00, chunk[2] = 0x07, chunk[3] = 0xE8;
    for (int i = 0; i < 100000; ++i) {
        ASSERT_EQ(feed_frame(m, frame(DataKind::Normal, chunk, 10), true), AssemblyStep::Open);
        ASSERT_LE(m.data.capacity(), 2u * 4128u);
    }
    // 254 bytes kept from the first chunk, 250 from each after it.
    EXPECT_EQ(m.data.size(), 4128u);
    EXPECT_EQ(m.dropped, 254u + 99999u * 250u - 4128u);
    EXPECT_EQ(feed_frame(m, frame(DataKind::RxEnd, {0x00, 0x00, 0x07, 0xE8, 0x01}, 20), true), AssemblyStep::Ended);
    const Message msg = complete_message(m, 6);
    ASSERT_EQ(msg.data.size(), 4128u);
    EXPECT_EQ(msg.extra_data_index, 4128u);
    EXPECT_EQ(std::vector<std::uint8_t>(msg.data.begin(), msg.data.begin() + 5),
              (std::vector<std::uint8_t>{0x00, 0x00, 0x07, 0xE8, 0x5A}));
    EXPECT_EQ(msg.timestamp, 20u);
    EXPECT_EQ(m.dropped, 0u);
}

TEST(MessageAssembly, KlineStartTakesTheTimestampAndEndAddsNothing) {
    MessageAssembly m;
    feed_frame(m, frame(DataKind::NormalStart, {0xAA}, 77), false);
    feed_frame(m, frame(DataKind::Normal, {0x83, 0xF1, 0x10, 0xC1}), false);
    EXPECT_EQ(feed_frame(m, frame(DataKind::RxEnd, {0x55, 0x66}), false), AssemblyStep::Ended);
    EXPECT_EQ(m.data, (std::vector<std::uint8_t>{0x83, 0xF1, 0x10, 0xC1}));
    EXPECT_EQ(m.timestamp, 77u);
}

TEST(MessageAssembly, TransmitEchoesAndUnknownKindsContributeNothing) {
    MessageAssembly m;
    for (DataKind kind : {DataKind(DataKind::TxDone), DataKind(DataKind::TxLoopback), DataKind(DataKind::LoopbackEnd),
                          DataKind(DataKind::TxLoopbackStart), DataKind::other(0x41)}) {
        EXPECT_EQ(feed_frame(m, frame(kind, {1, 2, 3, 4, 5}, 9), true), AssemblyStep::Open);
    }
    EXPECT_TRUE(m.data.empty());
    EXPECT_EQ(m.timestamp, 0u);
    EXPECT_EQ(feed_frame(m, frame(DataKind::RxEndExtended, {}), true), AssemblyStep::Ended);
}

}  // namespace
}  // namespace vexo::tactrix
