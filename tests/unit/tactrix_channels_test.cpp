#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "tests/unit/tactrix_sim_fixture.h"
#include "vexo/j2534.h"

namespace vexo::tactrix {
namespace {

using namespace std::string_literals;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::IsEmpty;

class TactrixChannels : public TactrixSimTest {
protected:
    void SetUp() override {
        TactrixSimTest::SetUp();
        open_device();
    }
};

struct ConnectCase {
    std::uint32_t protocol;
    std::uint32_t flags;
    std::uint32_t baud;
    std::string bytes;
    std::vector<std::uint32_t> cable_filter_ids;
};

class TactrixConnect : public TactrixChannels, public ::testing::WithParamInterface<ConnectCase> {};

TEST_P(TactrixConnect, OpensTheCableChannelAndRecordsIt) {
    const ConnectCase& c = GetParam();
    auto connected = device->connect(1, c.protocol, c.flags, c.baud);
    ASSERT_EQ(outcome(connected), "ok");
    EXPECT_EQ(*connected, c.protocol);
    EXPECT_EQ(written(), c.bytes);
    const TactrixChannel& ch = channel(c.protocol);
    EXPECT_EQ(ch.protocol.id, c.protocol);
    EXPECT_EQ(ch.connect_flags, c.flags);
    EXPECT_EQ(ch.baud_rate, c.baud);
    EXPECT_EQ(ch.protocol.cable_channel, c.protocol);
    EXPECT_THAT(ch.cable_filter_ids, ElementsAreArray(c.cable_filter_ids));
    EXPECT_TRUE(ch.config_params.empty());
    EXPECT_EQ(device->channel_count(), 1u);
}

INSTANTIATE_TEST_SUITE_P(
    Protocols, TactrixConnect,
    ::testing::Values(ConnectCase{ISO9141, 0, 10400, "ato3 0 10400 0\r\natf3 1 0 1\r\n\0\0"s, {1}},
                      ConnectCase{ISO14230, 0x1000, 10400, "ato4 4096 10400 0\r\natf4 1 0 1\r\n\0\0"s, {1}},
                      ConnectCase{CAN, 0x800, 500000, "ato5 2048 500000 0\r\n", {}},
                      ConnectCase{ISO15765, 0, 500000, "ato6 0 500000 0\r\n", {}}));

TEST_F(TactrixChannels, TheKlinePassAllFilterIsFourteenBytes) {
    connect(ISO14230);
    ASSERT_EQ(outcome(device->connect(1, ISO9141, 0, 10400)), "ok");
    EXPECT_EQ(written().size(), "ato3 0 10400 0\r\n"s.size() + 14);
    EXPECT_EQ(written().substr(16), "atf3 1 0 1\r\n\0\0"s);
    EXPECT_THAT(channel(ISO9141).cable_filter_ids, ElementsAre(2u));
}

TEST_F(TactrixChannels, OtherProtocolsAreRefusedWithoutAWord) {
    for (std::uint32_t protocol : {0u, J1850VPW, J1850PWM, 7u, 0x8000u}) {
        EXPECT_EQ(outcome(device->connect(1, protocol, 0, 10400)), "0x03 invalid protocol ID") << protocol;
    }
    EXPECT_EQ(written(), "");
    EXPECT_EQ(device->channel_count(), 0u);
}

TEST_F(TactrixChannels, ConnectingAgainReplacesTheRecord) {
    connect(ISO14230, 10400);
    const IoctlInput params = ConfigList{{1, 10400}};
    ASSERT_EQ(outcome(device->ioctl(ISO14230, SET_CONFIG, &params)), "ok");
    EXPECT_EQ(channel(ISO14230).config_params.size(), 1u);
    ASSERT_EQ(outcome(device->connect(1, ISO14230, 0, 9600)), "ok");
    EXPECT_TRUE(channel(ISO14230).config_params.empty());
    EXPECT_EQ(channel(ISO14230).baud_rate, 9600u);
    EXPECT_THAT(channel(ISO14230).cable_filter_ids, ElementsAre(2u));  // the cable's new pass-all filter only
}

TEST_F(TactrixChannels, ARefusedOpenLeavesTheTableAsItWas) {
    cable->reject('o', "invalid channel");
    EXPECT_EQ(outcome(device->connect(1, CAN, 0, 500000)),
              "0x07 internal error: Tactrix rejected command (are invalid channel)");
    EXPECT_EQ(device->channel_count(), 0u);
    EXPECT_EQ(device->last_error_detail(), "Tactrix rejected command (are invalid channel)");
}

TEST_F(TactrixChannels, ARefusedPassAllFilterLeavesTheChannelRegisteredWithoutAFilterId) {
    cable->reject('f', "invalid filter");
    EXPECT_EQ(outcome(device->connect(1, ISO9141, 0, 10400)),
              "0x07 internal error: Tactrix rejected filter (are invalid filter)");
    ASSERT_NE(device->channel(ISO9141), nullptr);
    EXPECT_THAT(channel(ISO9141).cable_filter_ids, IsEmpty());
}

TEST_F(TactrixChannels, DisconnectClosesTheCableChannelAndForgetsIt) {
    connect(ISO9141, 10400);
    connect(ISO15765);
    ASSERT_EQ(outcome(device->disconnect(ISO9141)), "ok");
    EXPECT_EQ(written(), "atc3\r\n");
    EXPECT_EQ(device->channel(ISO9141), nullptr);
    EXPECT_NE(device->channel(ISO15765), nullptr);
    EXPECT_EQ(outcome(device->read_msgs(ISO9141, 1, 0)), "0x02 invalid channel ID");
}

TEST_F(TactrixChannels, DisconnectOfAnUnknownChannelWritesNothing) {
    connect(ISO15765);
    EXPECT_EQ(outcome(device->disconnect(CAN)), "0x02 invalid channel ID");
    EXPECT_EQ(written(), "");
    EXPECT_NE(device->channel(ISO15765), nullptr);
}

TEST_F(TactrixChannels, DisconnectSucceedsWhateverTheCableAnswers) {
    connect(CAN);
    connect(ISO15765);
    cable->reject('c', "no");
    EXPECT_EQ(outcome(device->disconnect(CAN)), "ok");
    EXPECT_EQ(device->channel(CAN), nullptr);

    cable->clear_scripts();
    cable->silence('c');
    EXPECT_EQ(outcome(device->disconnect(ISO15765)), "ok");  // after the 2-second reply window
    EXPECT_EQ(device->channel_count(), 0u);
    EXPECT_EQ(written(), "atc5\r\natc6\r\n");
}

}  // namespace
}  // namespace vexo::tactrix
