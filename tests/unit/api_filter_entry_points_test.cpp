#include "unit/device_double.h"

namespace vexo {
namespace {

using namespace api;
using namespace testing_support;
using ::testing::_;
using ::testing::ElementsAre;
using ::testing::Return;

TEST_F(OpenDeviceTest, StartFilterBuildsTheSpecAndLogsAllDataBytes) {
    PASSTHRU_MSG mask = passthru_msg({0x00, 0x00, 0x07, 0xE8});
    PASSTHRU_MSG pattern = passthru_msg({0xFF, 0xFF, 0xFF, 0xFF});
    PASSTHRU_MSG flow = passthru_msg({0x00, 0x00, 0x07, 0xE0}, 0x40);
    FilterSpec seen;
    EXPECT_CALL(*device, start_msg_filter(6u, _)).WillOnce([&](auto, const FilterSpec& filter) {
        seen = filter;
        return Result<std::uint32_t>(1u);
    });
    std::uint32_t id = 0;
    ASSERT_EQ(PassThruStartMsgFilter(6, FLOW_CONTROL_FILTER, &mask, &pattern, &flow, &id), STATUS_NOERROR);
    EXPECT_EQ(id, 1u);
    EXPECT_EQ(seen.filter_type, FLOW_CONTROL_FILTER);
    EXPECT_EQ(seen.mask, (Message{{0x00, 0x00, 0x07, 0xE8}, ISO15765}));
    EXPECT_EQ(seen.pattern.data, (std::vector<std::uint8_t>{0xFF, 0xFF, 0xFF, 0xFF}));
    ASSERT_TRUE(seen.flow_control.has_value());
    EXPECT_EQ(seen.flow_control->tx_flags, 0x40u);
    EXPECT_THAT(log.take(), ElementsAre("[j2534] PassThruStartMsgFilter OK ch=6 type=3 mask=[00 00 07 E8] "
                                        "pattern=[FF FF FF FF] flow=[00 00 07 E0] id=1"));
}

TEST_F(OpenDeviceTest, StartFilterFailureWithoutFlowControlMessage) {
    PASSTHRU_MSG empty = passthru_msg({});
    PASSTHRU_MSG huge = passthru_msg({});
    huge.DataSize = 5000;
    FilterSpec seen;
    EXPECT_CALL(*device, start_msg_filter(6u, _)).WillOnce([&](auto, const FilterSpec& filter) {
        seen = filter;
        return Result<std::uint32_t>(fail(PassThruError::invalid_value(0, 4)));
    });
    std::uint32_t id = 0xAA;
    EXPECT_EQ(PassThruStartMsgFilter(6, FLOW_CONTROL_FILTER, &empty, &huge, nullptr, &id), ERR_INVALID_IOCTL_VALUE);
    EXPECT_EQ(id, 0xAAu);
    EXPECT_FALSE(seen.flow_control.has_value());
    EXPECT_EQ(seen.pattern.data.size(), 4128u);
    EXPECT_EQ(last_error_text(), "invalid value 0x00000004 for parameter 0x00000000");
    std::string zeros = "00";
    for (int i = 1; i < 4128; ++i) zeros += " 00";
    EXPECT_THAT(log.take(), ElementsAre("[j2534] PassThruStartMsgFilter ERR ch=6 type=3 mask=[] pattern=[" + zeros +
                                        "] flow=[(none)] invalid value 0x00000004 for parameter 0x00000000"));
}

TEST_F(OpenDeviceTest, StopFilterLines) {
    EXPECT_CALL(*device, stop_msg_filter(6u, 1u))
        .WillOnce(Return(VoidResult{}))
        .WillOnce(Return(fail(PassThruError::not_supported())));
    EXPECT_EQ(PassThruStopMsgFilter(6, 1), STATUS_NOERROR);
    EXPECT_EQ(PassThruStopMsgFilter(6, 1), ERR_NOT_SUPPORTED);
    EXPECT_EQ(last_error_text(), "operation not supported");
    EXPECT_THAT(log.take(), ElementsAre("[j2534] PassThruStopMsgFilter OK ch=6 id=1",
                                        "[j2534] PassThruStopMsgFilter ERR ch=6 id=1 operation not supported"));
}

}  // namespace
}  // namespace vexo
