// Message filters: installed on the cable with "atf", one J2534 ID each.
#include "passthru_fixture.h"

namespace vexo::e2e {
namespace {

using Strings = std::vector<std::string>;
using FilterEntryPoints = PassThruTest;

TEST_F(FilterEntryPoints, FlowControlFilterOnIso15765) {
    open_device();
    connect(ISO15765, 500000);
    PASSTHRU_MSG mask = passthru_msg(ISO15765, 0, {0xFF, 0xFF, 0xFF, 0xFF});
    PASSTHRU_MSG pattern = passthru_msg(ISO15765, 0, {0x00, 0x00, 0x07, 0xE8});
    PASSTHRU_MSG flow = passthru_msg(ISO15765, 0, {0x00, 0x00, 0x07, 0xE0});
    J2534_ULONG id = 0;
    ASSERT_EQ(pt.PassThruStartMsgFilter(ISO15765, FLOW_CONTROL_FILTER, &mask, &pattern, &flow, &id), STATUS_NOERROR);
    EXPECT_EQ(id, 1u);
    const std::string atf = "atf6 3 64 4\r\n" + data_of(mask) + data_of(pattern) + data_of(flow);
    EXPECT_EQ(wire.take(), atf);
    EXPECT_EQ(log.take(), (Strings{
                              wire_line("TX", atf),
                              "[tactrix] tactrix RX wire: 6 bytes [61 72 66 31 0D 0A]",
                              "[tactrix] tactrix RX frame: FilterAck(id=1)",
                              "[j2534] PassThruStartMsgFilter OK ch=6 type=3 mask=[FF FF FF FF] pattern=[00 00 07 E8] "
                              "flow=[00 00 07 E0] id=1",
                          }));
}

TEST_F(FilterEntryPoints, IdsCountAcrossChannelsAndPassFiltersSendNoFlowControl) {
    open_device();
    connect(ISO15765, 500000);
    connect(CAN, 500000);
    PASSTHRU_MSG mask = passthru_msg(CAN, 0, {0xFF, 0xFF, 0xFF, 0xFF});
    PASSTHRU_MSG pattern = passthru_msg(CAN, 0, {0x00, 0x00, 0x07, 0xE8});
    PASSTHRU_MSG flow = passthru_msg(CAN, 0, {0x00, 0x00, 0x07, 0xE0});
    J2534_ULONG id = 0;
    ASSERT_EQ(pt.PassThruStartMsgFilter(ISO15765, FLOW_CONTROL_FILTER, &mask, &pattern, &flow, &id), STATUS_NOERROR);
    EXPECT_EQ(id, 1u);
    wire.skip();
    ASSERT_EQ(pt.PassThruStartMsgFilter(CAN, PASS_FILTER, &mask, &pattern, &flow, &id), STATUS_NOERROR);
    EXPECT_EQ(id, 2u);
    EXPECT_EQ(wire.take(), "atf5 1 64 4\r\n" + data_of(mask) + data_of(pattern));
    EXPECT_EQ(log.take().back(),
              "[j2534] PassThruStartMsgFilter OK ch=5 type=1 mask=[FF FF FF FF] pattern=[00 00 07 E8] flow=[00 00 07 "
              "E0] id=2");
    ASSERT_EQ(pt.PassThruStartMsgFilter(CAN, BLOCK_FILTER, &mask, &pattern, nullptr, &id), STATUS_NOERROR);
    EXPECT_EQ(id, 3u);
    EXPECT_EQ(wire.take(), "atf5 2 64 4\r\n" + data_of(mask) + data_of(pattern));
    EXPECT_EQ(log.take().back(),
              "[j2534] PassThruStartMsgFilter OK ch=5 type=2 mask=[FF FF FF FF] pattern=[00 00 07 E8] flow=[(none)] "
              "id=3");
}

TEST_F(FilterEntryPoints, KLineFiltersCarryNoFlagsAndTheConnectFilterUsesNoId) {
    open_device();
    connect(ISO14230, 10400);
    PASSTHRU_MSG mask = passthru_msg(ISO14230, 0, {0xFF});
    PASSTHRU_MSG pattern = passthru_msg(ISO14230, 0, {0x08});
    J2534_ULONG id = 0;
    ASSERT_EQ(pt.PassThruStartMsgFilter(ISO14230, PASS_FILTER, &mask, &pattern, nullptr, &id), STATUS_NOERROR);
    EXPECT_EQ(id, 1u);
    EXPECT_EQ(wire.take(), "atf4 1 0 1\r\n" + bytes({0xFF, 0x08}));
    // The cable's own numbering went on from the connect's pass-all filter.
    EXPECT_EQ(log.take()[2], "[tactrix] tactrix RX frame: FilterAck(id=2)");
}

TEST_F(FilterEntryPoints, InvalidRequestsNeverReachTheCableNorUseAnId) {
    open_device();
    connect(ISO15765, 500000);
    PASSTHRU_MSG ff = passthru_msg(ISO15765, 0, {0xFF});
    PASSTHRU_MSG zero = passthru_msg(ISO15765, 0, {0x00});
    PASSTHRU_MSG four = passthru_msg(ISO15765, 0, {0xFF, 0xFF, 0xFF, 0xFF});
    PASSTHRU_MSG three = passthru_msg(ISO15765, 0, {0x00, 0x07, 0xE8});
    PASSTHRU_MSG empty = passthru_msg(ISO15765, 0, {});
    J2534_ULONG id = 77;

    EXPECT_EQ(pt.PassThruStartMsgFilter(ISO15765, 4, &ff, &zero, nullptr, &id), ERR_INVALID_IOCTL_VALUE);
    EXPECT_EQ(last_error(), "invalid value 0x00000004 for parameter 0x00000000");
    EXPECT_EQ(log.take(), Strings{"[j2534] PassThruStartMsgFilter ERR ch=6 type=4 mask=[FF] pattern=[00] "
                                  "flow=[(none)] invalid value 0x00000004 for parameter 0x00000000"});

    EXPECT_EQ(pt.PassThruStartMsgFilter(ISO15765, PASS_FILTER, &four, &three, nullptr, &id), ERR_INVALID_IOCTL_VALUE);
    EXPECT_EQ(last_error(), "invalid value 0x00000004 for parameter 0x00000001");

    EXPECT_EQ(pt.PassThruStartMsgFilter(ISO15765, PASS_FILTER, &empty, &empty, nullptr, &id), ERR_INVALID_IOCTL_VALUE);
    EXPECT_EQ(last_error(), "invalid value 0x00000000 for parameter 0x00000001");
    log.skip();

    EXPECT_EQ(pt.PassThruStartMsgFilter(ISO15765, FLOW_CONTROL_FILTER, &four, &four, nullptr, &id),
              ERR_INVALID_IOCTL_VALUE);
    EXPECT_EQ(last_error(), "invalid value 0x00000000 for parameter 0x00000002");
    EXPECT_EQ(log.take(), Strings{"[j2534] PassThruStartMsgFilter ERR ch=6 type=3 mask=[FF FF FF FF] pattern=[FF FF "
                                  "FF FF] flow=[(none)] invalid value 0x00000000 for parameter 0x00000002"});

    EXPECT_EQ(pt.PassThruStartMsgFilter(ISO15765, FLOW_CONTROL_FILTER, &four, &four, &three, &id),
              ERR_INVALID_IOCTL_VALUE);
    EXPECT_EQ(last_error(), "invalid value 0x00000003 for parameter 0x00000002");

    EXPECT_EQ(id, 77u);
    EXPECT_EQ(wire.take(), "");
    ASSERT_EQ(pt.PassThruStartMsgFilter(ISO15765, PASS_FILTER, &ff, &zero, nullptr, &id), STATUS_NOERROR);
    EXPECT_EQ(id, 1u);
}

TEST_F(FilterEntryPoints, FilterTheCableRefuses) {
    open_device();
    connect(CAN, 500000);
    // The cable holds filters of at most 12 bytes.
    PASSTHRU_MSG mask = passthru_msg(CAN, 0, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13});
    J2534_ULONG id = 77;
    EXPECT_EQ(pt.PassThruStartMsgFilter(CAN, PASS_FILTER, &mask, &mask, nullptr, &id), ERR_FAILED);
    EXPECT_EQ(id, 77u);
    EXPECT_EQ(last_error(), "internal error: Tactrix rejected filter (are invalid filter)");
    EXPECT_EQ(log.take().back(),
              "[j2534] PassThruStartMsgFilter ERR ch=5 type=1 mask=[01 02 03 04 05 06 07 08 09 0A 0B 0C 0D] "
              "pattern=[01 02 03 04 05 06 07 08 09 0A 0B 0C 0D] flow=[(none)] internal error: Tactrix rejected "
              "filter (are invalid filter)");
}

TEST_F(FilterEntryPoints, StartChecksPointersChannelAndDevice) {
    PASSTHRU_MSG mask = passthru_msg(CAN, 0, {0xFF});
    J2534_ULONG id = 77;
    EXPECT_EQ(pt.PassThruStartMsgFilter(CAN, PASS_FILTER, &mask, &mask, nullptr, nullptr), ERR_NULL_PARAMETER);
    EXPECT_EQ(pt.PassThruStartMsgFilter(CAN, PASS_FILTER, nullptr, &mask, nullptr, &id), ERR_NULL_PARAMETER);
    EXPECT_EQ(pt.PassThruStartMsgFilter(CAN, PASS_FILTER, &mask, nullptr, nullptr, &id), ERR_NULL_PARAMETER);
    EXPECT_EQ(log.take(), Strings{});
    EXPECT_EQ(pt.PassThruStartMsgFilter(CAN, PASS_FILTER, &mask, &mask, nullptr, &id), ERR_DEVICE_NOT_CONNECTED);
    EXPECT_EQ(log.take(), Strings{"[j2534] PassThruStartMsgFilter ERR ch=5 type=1 mask=[FF] pattern=[FF] "
                                  "flow=[(none)] device not connected"});
    open_device();
    EXPECT_EQ(pt.PassThruStartMsgFilter(CAN, PASS_FILTER, &mask, &mask, nullptr, &id), ERR_INVALID_CHANNEL_ID);
    EXPECT_EQ(last_error(), "invalid channel ID");
    EXPECT_EQ(id, 77u);
}

// Which of 7E8, 7E9 and 7EA the cable now lets through to the host ('+') or filters out ('-').
std::string passing(const SimControls& sim) {
    const std::uint8_t data[] = {0x01, 0x0C};
    std::string out;
    for (std::uint32_t id = 0x7E8; id <= 0x7EA; ++id) out += sim.deliver_can(5, id, data, 2, 0) == 0 ? '+' : '-';
    return out;
}

TEST_F(FilterEntryPoints, StopAndClearReinstallTheChannelWithWhatStays) {
    open_device();
    connect(CAN, 500000);
    ASSERT_EQ(sim.set_filtering(1), 0);
    const std::string reopen = "atc5\r\nato5 0 500000 0\r\n";
    std::string atf[3];
    for (int i = 0; i < 3; ++i) {
        PASSTHRU_MSG mask = passthru_msg(CAN, 0, {0xFF, 0xFF, 0xFF, 0xFF});
        PASSTHRU_MSG pattern = passthru_msg(CAN, 0, {0x00, 0x00, 0x07, 0xE8 + i});
        J2534_ULONG id = 0;
        ASSERT_EQ(pt.PassThruStartMsgFilter(CAN, PASS_FILTER, &mask, &pattern, nullptr, &id), STATUS_NOERROR);
        EXPECT_EQ(id, static_cast<J2534_ULONG>(i + 1));
        atf[i] = wire.take();
    }
    EXPECT_EQ(passing(sim), "+++");
    log.skip();
    ASSERT_EQ(pt.PassThruStopMsgFilter(CAN, 2), STATUS_NOERROR);
    EXPECT_EQ(wire.take(), reopen + atf[0] + atf[2]);
    EXPECT_EQ(log.take().back(), "[j2534] PassThruStopMsgFilter OK ch=5 id=2");
    EXPECT_EQ(passing(sim), "+-+");
    EXPECT_EQ(pt.PassThruStopMsgFilter(CAN, 2), ERR_INVALID_FILTER_ID);
    EXPECT_EQ(log.take(), Strings{"[j2534] PassThruStopMsgFilter ERR ch=5 id=2 invalid filter ID 2"});
    ASSERT_EQ(pt.PassThruStopMsgFilter(CAN, 3), STATUS_NOERROR);  // the one left kept its ID
    EXPECT_EQ(wire.take(), reopen + atf[0]);
    EXPECT_EQ(passing(sim), "+--");

    ASSERT_EQ(pt.PassThruIoctl(CAN, CLEAR_MSG_FILTERS, nullptr, nullptr), STATUS_NOERROR);
    EXPECT_EQ(wire.take(), reopen);
    EXPECT_EQ(log.take().back(), "[j2534] PassThruIoctl CLEAR_MSG_FILTERS OK ch=5");
    EXPECT_EQ(passing(sim), "---");
    EXPECT_EQ(pt.PassThruStopMsgFilter(CAN, 1), ERR_INVALID_FILTER_ID);

    // A cable that does not open the channel again has closed it: the channel is gone.
    ASSERT_EQ(sim.silence('o', 1), 0);
    EXPECT_EQ(pt.PassThruIoctl(CAN, CLEAR_MSG_FILTERS, nullptr, nullptr), ERR_TIMEOUT);
    EXPECT_EQ(log.take().back(),
              "[j2534] PassThruIoctl CLEAR_MSG_FILTERS ERR ch=5 transport error: operation timed out");
    EXPECT_EQ(read(CAN, 1, 0).status, ERR_INVALID_CHANNEL_ID);
}

}  // namespace
}  // namespace vexo::e2e
