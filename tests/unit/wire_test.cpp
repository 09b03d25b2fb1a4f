#include "tactrix/wire.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tactrix/frames.h"

namespace vexo::tactrix {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes bytes_of(const std::string& text, Bytes payload = {}) {
    Bytes out(text.begin(), text.end());
    out.insert(out.end(), payload.begin(), payload.end());
    return out;
}

TEST(Wire, CommandLinesWithoutPayload) {
    EXPECT_EQ(wire::identify(), bytes_of("ati\r\n"));
    EXPECT_EQ(wire::second_open_step(), bytes_of("ata\r\n"));
    EXPECT_EQ(wire::close_device(), bytes_of("atz\r\n"));
    EXPECT_EQ(wire::open_channel(6, 0, 500000), bytes_of("ato6 0 500000 0\r\n"));
    EXPECT_EQ(wire::open_channel(3, 0x1000, 10400), bytes_of("ato3 4096 10400 0\r\n"));
    EXPECT_EQ(wire::set_parameter(4, 0x0C, 20), bytes_of("ats4 12 20\r\n"));
    EXPECT_EQ(wire::read_analog(16), bytes_of("atr 16\r\n"));

    const Bytes close = wire::close_channel(3);
    EXPECT_EQ(close, bytes_of("atc3\r\n"));
    EXPECT_EQ(close.size(), 6u);
}

TEST(Wire, TransmitCarriesTheDataInTheSameString) {
    const Bytes data = {0x00, 0x00, 0x07, 0xDF};
    const Bytes line = wire::transmit(6, wire::transmit_flags(6, 0), data);
    EXPECT_EQ(line, bytes_of("att6 4 64\r\n", data));
    EXPECT_EQ(line.size(), 15u);

    EXPECT_EQ(wire::transmit(3, 0, {}), bytes_of("att3 0 0\r\n"));
}

TEST(Wire, TransmitFlagsGainBit0x40OnlyOnCanChannels) {
    EXPECT_EQ(wire::transmit_flags(5, 0), 64u);
    EXPECT_EQ(wire::transmit_flags(6, 0x40), 64u);
    EXPECT_EQ(wire::transmit_flags(6, 0x100), 0x140u);
    EXPECT_EQ(wire::transmit_flags(3, 0), 0u);
    EXPECT_EQ(wire::transmit_flags(4, 0x02), 0x02u);
    EXPECT_EQ(wire::filter_flags(5), 64u);
    EXPECT_EQ(wire::filter_flags(6), 64u);
    EXPECT_EQ(wire::filter_flags(3), 0u);
    EXPECT_EQ(wire::filter_flags(4), 0u);
}

TEST(Wire, FilterPayloadIsMaskPatternAndFlowOnlyForFlowControl) {
    const Bytes mask = {0xFF, 0xFF, 0xFF, 0xFF};
    const Bytes pattern = {0x00, 0x00, 0x07, 0xE8};
    const Bytes flow = {0x00, 0x00, 0x07, 0xE0};

    const Bytes flow_filter = wire::filter(6, 3, wire::filter_flags(6), mask, pattern, flow);
    EXPECT_EQ(flow_filter,
              bytes_of("atf6 3 64 4\r\n", {0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0x00, 0x07, 0xE8, 0x00, 0x00, 0x07, 0xE0}));
    EXPECT_EQ(flow_filter.size(), 13u + 12u);

    // A stray flow-control argument on a pass filter must not reach the cable.
    EXPECT_EQ(wire::filter(5, 1, 64, mask, pattern, flow),
              bytes_of("atf5 1 64 4\r\n", {0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0x00, 0x07, 0xE8}));
    EXPECT_EQ(wire::filter(3, 2, 0, Bytes{0x0F}, Bytes{0x01}), bytes_of("atf3 2 0 1\r\n", {0x0F, 0x01}));
}

TEST(Wire, PassAllFilterIsTypeOneWithTwoZeroBytes) {
    const Bytes line = wire::pass_all_filter(3);
    EXPECT_EQ(line, bytes_of("atf3 1 0 1\r\n", {0x00, 0x00}));
    EXPECT_EQ(line.size(), 14u);
}

TEST(Wire, FastInitWithAndWithoutRequest) {
    EXPECT_EQ(wire::fast_init(4, {}), bytes_of("aty4 0 0\r\n"));
    const Bytes request = {0xC1, 0x33, 0xF1, 0x81, 0x66};
    EXPECT_EQ(wire::fast_init(4, request), bytes_of("aty4 5 0\r\n", request));
}

TEST(Wire, StatusByteClassesIgnoreBits0x02And0x08) {
    EXPECT_EQ(data_kind_of(0x00), DataKind::Normal);
    EXPECT_EQ(data_kind_of(0x0A), DataKind::Normal);
    EXPECT_EQ(data_kind_of(0x10), DataKind::TxDone);
    EXPECT_EQ(data_kind_of(0x12), DataKind::TxDone);
    EXPECT_EQ(data_kind_of(0x28), DataKind::TxLoopback);
    EXPECT_EQ(data_kind_of(0x40), DataKind::RxEnd);
    EXPECT_EQ(data_kind_of(0x4E), DataKind::RxEndExtended);
    EXPECT_EQ(data_kind_of(0x62), DataKind::LoopbackEnd);
    EXPECT_EQ(data_kind_of(0x80), DataKind::NormalStart);
    EXPECT_EQ(data_kind_of(0xAA), DataKind::TxLoopbackStart);

    const DataKind other = data_kind_of(0x41);
    EXPECT_EQ(other.tag(), DataKind::Other);
    EXPECT_EQ(other.other_status(), 65);
    EXPECT_EQ(other, DataKind::other(0x41));
    EXPECT_NE(other, DataKind::other(0x43));
    EXPECT_EQ(data_kind_of(0xFF), DataKind::other(0xFF));
    EXPECT_EQ(data_kind_of(0x04), DataKind::other(0x04));
}

}  // namespace
}  // namespace vexo::tactrix
