#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "tests/unit/tactrix_sim_fixture.h"
#include "vexo/j2534.h"

namespace vexo::tactrix {
namespace {

using namespace std::string_literals;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

Message bytes_message(std::vector<std::uint8_t> data) {
    Message m;
    m.data = std::move(data);
    return m;
}

FilterSpec filter_spec(std::uint32_t type, std::vector<std::uint8_t> mask, std::vector<std::uint8_t> pattern,
                       std::optional<std::vector<std::uint8_t>> flow = std::nullopt) {
    FilterSpec f{bytes_message(std::move(mask)), bytes_message(std::move(pattern)), std::nullopt, type};
    if (flow) f.flow_control = bytes_message(std::move(*flow));
    return f;
}

class TactrixFilters : public TactrixSimTest {
protected:
    void SetUp() override {
        TactrixSimTest::SetUp();
        open_device();
        connect(ISO14230, 10400);
        connect(CAN);
        connect(ISO15765);
    }
};

struct Invalid {
    std::uint32_t channel;
    FilterSpec filter;
    std::string outcome;
};

TEST_F(TactrixFilters, ChecksComeInOrderAndSendNothing) {
    const std::vector<std::uint8_t> four{1, 2, 3, 4};
    const std::vector<Invalid> cases{
        {ISO9141, filter_spec(4, {}, {1}), "0x02 invalid channel ID"},
        {ISO15765, filter_spec(4, {}, {1}), "0x05 invalid value 0x00000004 for parameter 0x00000000"},
        {ISO15765, filter_spec(0, four, four), "0x05 invalid value 0x00000000 for parameter 0x00000000"},
        {ISO15765, filter_spec(FLOW_CONTROL_FILTER, four, {1, 2, 3}),
         "0x05 invalid value 0x00000004 for parameter 0x00000001"},
        {ISO15765, filter_spec(PASS_FILTER, {}, {}), "0x05 invalid value 0x00000000 for parameter 0x00000001"},
        {ISO15765, filter_spec(FLOW_CONTROL_FILTER, four, four),
         "0x05 invalid value 0x00000000 for parameter 0x00000002"},
        {ISO15765, filter_spec(FLOW_CONTROL_FILTER, four, four, std::vector<std::uint8_t>{1, 2, 3}),
         "0x05 invalid value 0x00000003 for parameter 0x00000002"},
    };
    for (const Invalid& c : cases) EXPECT_EQ(outcome(device->start_msg_filter(c.channel, c.filter)), c.outcome);
    EXPECT_EQ(written(), "");
    EXPECT_EQ(device->last_error_detail(), "");
    EXPECT_EQ(device->start_msg_filter(ISO15765, filter_spec(PASS_FILTER, {0xFF}, {0x01})), 1u);
}

TEST_F(TactrixFilters, SendsOneAtfWithTheChannelsFlagsAndOnlyTheBytesTheTypeUses) {
    EXPECT_EQ(
        device->start_msg_filter(ISO14230, filter_spec(PASS_FILTER, {0xFF}, {0x08}, std::vector<std::uint8_t>{0x77})),
        1u);
    EXPECT_EQ(device->start_msg_filter(CAN, filter_spec(BLOCK_FILTER, {0xFF, 0xFF}, {0x07, 0xE8})), 2u);
    EXPECT_EQ(device->start_msg_filter(
                  ISO15765, filter_spec(FLOW_CONTROL_FILTER, {0xFF, 0xFF, 0xFF, 0xFF}, {0x00, 0x00, 0x07, 0xE8},
                                        std::vector<std::uint8_t>{0x00, 0x00, 0x07, 0xE0})),
              3u);
    EXPECT_EQ(written(), "atf4 1 0 1\r\n\xFF\x08"s + "atf5 2 64 2\r\n\xFF\xFF\x07\xE8"s +
                             "atf6 3 64 4\r\n\xFF\xFF\xFF\xFF\0\0\x07\xE8\0\0\x07\xE0"s);
    // The cable numbered the K-line pass-all filter 1, then these 2, 3 and 4.
    EXPECT_THAT(channel(ISO14230).cable_filter_ids, ElementsAre(1u, 2u));
    EXPECT_THAT(channel(CAN).cable_filter_ids, ElementsAre(3u));
    EXPECT_THAT(channel(ISO15765).cable_filter_ids, ElementsAre(4u));
}

TEST_F(TactrixFilters, ARefusedFilterUsesNoNumber) {
    cable->reject('f', "full", 1);
    EXPECT_EQ(outcome(device->start_msg_filter(CAN, filter_spec(PASS_FILTER, {0xFF}, {0x01}))),
              "0x07 internal error: Tactrix rejected filter (are full)");
    EXPECT_EQ(device->last_error_detail(), "Tactrix rejected filter (are full)");
    EXPECT_THAT(channel(CAN).cable_filter_ids, IsEmpty());
    EXPECT_EQ(device->start_msg_filter(CAN, filter_spec(PASS_FILTER, {0xFF}, {0x01})), 1u);
}

TEST_F(TactrixFilters, AnUnansweredFilterTimesOutAndUsesNoNumber) {
    cable->silence('f', 1);
    EXPECT_EQ(outcome(device->start_msg_filter(ISO15765, filter_spec(PASS_FILTER, {0xFF}, {0x01}))),
              "0x09 transport error: operation timed out");
    EXPECT_THAT(channel(ISO15765).cable_filter_ids, IsEmpty());
    EXPECT_EQ(device->start_msg_filter(ISO15765, filter_spec(PASS_FILTER, {0xFF}, {0x01})), 1u);
}

TEST_F(TactrixFilters, WriteFailuresComeBackAsTheyAreAndUseNoNumber) {
    sim::fail_next_transfer(LIBUSB_ERROR_NO_DEVICE);
    EXPECT_EQ(outcome(device->start_msg_filter(CAN, filter_spec(PASS_FILTER, {0xFF}, {0x01}))),
              "0x08 transport error: I/O error: No such device (it may have been disconnected)");
    device->cable().close();
    EXPECT_EQ(outcome(device->start_msg_filter(CAN, filter_spec(PASS_FILTER, {0xFF}, {0x01}))), "0x08 device not open");
    ASSERT_EQ(outcome(device->open(0)), "ok");  // the cable kept its channels
    EXPECT_EQ(device->start_msg_filter(CAN, filter_spec(PASS_FILTER, {0xFF}, {0x01})), 1u);
}

TEST_F(TactrixFilters, StoppingAFilterOfAnotherChannelOrNoneSendsNothing) {
    ASSERT_EQ(device->start_msg_filter(CAN, filter_spec(PASS_FILTER, {0xFF}, {0x01})), 1u);
    forget_traffic();
    EXPECT_EQ(outcome(device->stop_msg_filter(99, 1)), "0x02 invalid channel ID");
    EXPECT_EQ(outcome(device->stop_msg_filter(ISO15765, 1)), "0x16 invalid filter ID 1");
    EXPECT_EQ(outcome(device->stop_msg_filter(CAN, 2)), "0x16 invalid filter ID 2");
    EXPECT_EQ(written(), "");
}

}  // namespace
}  // namespace vexo::tactrix
