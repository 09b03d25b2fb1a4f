// Faults applications ran into, each kept fixed through the shipped library.
#include "passthru_fixture.h"

namespace vexo::e2e {
namespace {

using Strings = std::vector<std::string>;
using FixedIssues = PassThruTest;

const std::string kEcuId = bytes({0x00, 0x00, 0x07, 0xE8});
// LIBUSB_ERROR_IO: this suite reaches libusb only through the shipped library, not its header.
constexpr int kLibusbErrorIo = -1;

void inject(const SimControls& sim, const std::string& raw) {
    ASSERT_EQ(sim.inject(reinterpret_cast<const std::uint8_t*>(raw.data()), raw.size()), 0);
}

void inject_before_next_reply(const SimControls& sim, const std::string& raw) {
    ASSERT_EQ(sim.inject_before_next_reply(reinterpret_cast<const std::uint8_t*>(raw.data()), raw.size()), 0);
}

TEST_F(FixedIssues, VehicleDataArrivingWhileACommandAwaitsItsReplyIsReadAfterwards) {
    open_device();
    connect(ISO15765, 500000);
    const std::string first = bytes({0x03, 0x41, 0x0D, 0x32});
    const std::string second_a = bytes({0x10, 0x0A, 0x49, 0x02, 0x01, 0x57, 0x56, 0x57});
    const std::string second_b = bytes({0x21, 0x5A, 0x5A});
    const std::string third = bytes({0x02, 0x7E, 0x00});

    inject_before_next_reply(sim, data_frame(6, 0x40, 100, kEcuId + first));
    SCONFIG param{DATA_RATE, 500000};
    SCONFIG_LIST list{1, &param};
    ASSERT_EQ(pt.PassThruIoctl(ISO15765, SET_CONFIG, &list, nullptr), STATUS_NOERROR);

    inject_before_next_reply(sim,
                             data_frame(6, 0x00, 200, kEcuId + second_a) + data_frame(6, 0x40, 210, kEcuId + second_b));
    J2534_ULONG millivolts = 0;
    ASSERT_EQ(pt.PassThruIoctl(0, READ_VBATT, nullptr, &millivolts), STATUS_NOERROR);
    EXPECT_EQ(millivolts, 12600u);

    inject_before_next_reply(sim, data_frame(6, 0x40, 300, kEcuId + third));
    PASSTHRU_MSG mask = passthru_msg(ISO15765, 0, {0xFF, 0xFF, 0xFF, 0xFF});
    PASSTHRU_MSG pattern = passthru_msg(ISO15765, 0, {0x00, 0x00, 0x07, 0xE8});
    J2534_ULONG filter = 0;
    ASSERT_EQ(pt.PassThruStartMsgFilter(ISO15765, PASS_FILTER, &mask, &pattern, nullptr, &filter), STATUS_NOERROR);
    wire.skip();

    const auto got = read(ISO15765, 4, 100);
    ASSERT_EQ(got.status, STATUS_NOERROR);
    ASSERT_EQ(got.n, 3u);
    EXPECT_EQ(data_of(got.msgs[0]), kEcuId + first);
    EXPECT_EQ(got.msgs[0].Timestamp, 100u);
    EXPECT_EQ(data_of(got.msgs[1]), kEcuId + second_a + second_b);
    EXPECT_EQ(got.msgs[1].Timestamp, 210u);
    EXPECT_EQ(data_of(got.msgs[2]), kEcuId + third);
    EXPECT_EQ(log.take().back(), "[j2534] PassThruReadMsgs OK ch=6 n=3 timeout=100 first=[00 00 07 E8 03 41 0D 32]");
    EXPECT_EQ(wire.take(), "");
}

TEST_F(FixedIssues, MessageWhoseLastFrameMissesTheDeadlineComesWholeFromTheNextRead) {
    open_device();
    connect(ISO15765, 500000);
    const std::string head = bytes({0x10, 0x0A, 0x62, 0xF1, 0x90, 0x57, 0x56, 0x57});
    const std::string tail = bytes({0x21, 0x5A, 0x5A, 0x5A});
    inject(sim, data_frame(6, 0x00, 1000, kEcuId + head));

    const auto early = read(ISO15765, 1, 50);
    EXPECT_EQ(early.status, ERR_TIMEOUT);
    EXPECT_EQ(log.take().back(), "[j2534] PassThruReadMsgs ERR ch=6 timeout=50 transport error: operation timed out");

    inject(sim, data_frame(6, 0x40, 1900, kEcuId + tail));
    const auto late = read(ISO15765, 1, 50);
    ASSERT_EQ(late.status, STATUS_NOERROR);
    ASSERT_EQ(late.n, 1u);
    EXPECT_EQ(data_of(late.msgs[0]), kEcuId + head + tail);
    EXPECT_EQ(late.msgs[0].DataSize, 16u);
    EXPECT_EQ(late.msgs[0].ExtraDataIndex, 16u);
    EXPECT_EQ(late.msgs[0].Timestamp, 1900u);
}

TEST_F(FixedIssues, SetConfigWithTheCableUnpluggedFails) {
    open_device();
    connect(ISO15765, 500000);
    sim.unplug(0);
    SCONFIG param{DATA_RATE, 500000};
    SCONFIG_LIST list{1, &param};
    EXPECT_EQ(pt.PassThruIoctl(ISO15765, SET_CONFIG, &list, nullptr), ERR_DEVICE_NOT_CONNECTED);
    EXPECT_EQ(last_error(), "transport error: I/O error: No such device (it may have been disconnected)");
    EXPECT_EQ(log.take(), (Strings{
                              "[j2534] PassThruIoctl ch=6 id=0x02",
                              "[j2534] PassThruIoctl SET_CONFIG ch=6 params=[0x1=500000]",
                              wire_line("TX", "ats6 1 500000\r\n"),
                          }));
}

TEST_F(FixedIssues, CloseCutShortByAFailedWriteLeavesTheNextOpenWorking) {
    open_device();
    sim.fail_next_transfer(kLibusbErrorIo, 3);
    EXPECT_EQ(pt.PassThruClose(1), STATUS_NOERROR);
    J2534_ULONG id = 0;
    ASSERT_EQ(pt.PassThruOpen(nullptr, &id), STATUS_NOERROR);
    EXPECT_EQ(wire.take(), "atz\r\nati\r\nata\r\n");
    const auto commands = cable_commands();
    ASSERT_GE(commands.size(), 3u);
    EXPECT_EQ(Strings(commands.end() - 3, commands.end()), (Strings{"atz", "ati", "ata"}));
}

TEST_F(FixedIssues, FastInitAfterACutReappliedParameterKeepsTheCableInStep) {
    open_device();
    connect(ISO14230, 10400);
    SCONFIG param{P1_MAX, 20};
    SCONFIG_LIST list{1, &param};
    ASSERT_EQ(pt.PassThruIoctl(ISO14230, SET_CONFIG, &list, nullptr), STATUS_NOERROR);
    wire.take();
    sim.fail_next_transfer(kLibusbErrorIo, 5);  // "ats4 " of the re-applied parameter
    PASSTHRU_MSG request = passthru_msg(ISO14230, 0, {0xC1, 0x33, 0xF1, 0x81});
    PASSTHRU_MSG response{};
    ASSERT_EQ(pt.PassThruIoctl(ISO14230, FAST_INIT, &request, &response), STATUS_NOERROR);
    EXPECT_EQ(wire.take(), "ats4 7 20\r\naty4 4 0\r\n" + bytes({0xC1, 0x33, 0xF1, 0x81}));
    EXPECT_EQ(data_of(response), bytes({0x83, 0xF1, 0x10, 0xC1, 0xEF, 0x8F, 0xC3}));
}

TEST_F(FixedIssues, HugeMessageCountReadsOnlyWhatArrived) {
    open_device();
    connect(CAN, 500000);
    for (std::uint8_t i = 0; i < 2; ++i) {
        const std::uint8_t data[] = {0x02, 0x10, i};
        ASSERT_EQ(sim.deliver_can(5, 0x7E8, data, sizeof data, 10u + i), 0);
    }
    // Two records for the messages and one that must stay untouched.
    std::vector<PASSTHRU_MSG> msgs(3);
    msgs[2].ProtocolID = 0xDEADBEEF;
    J2534_ULONG n = 4000000000u;
    ASSERT_EQ(pt.PassThruReadMsgs(CAN, msgs.data(), &n, 100), STATUS_NOERROR);
    EXPECT_EQ(n, 2u);
    EXPECT_EQ(data_of(msgs[0]), kEcuId + bytes({0x02, 0x10, 0x00}));
    EXPECT_EQ(data_of(msgs[1]), kEcuId + bytes({0x02, 0x10, 0x01}));
    EXPECT_EQ(msgs[2].ProtocolID, 0xDEADBEEFu);
    EXPECT_EQ(msgs[2].DataSize, 0u);
    EXPECT_EQ(log.take().back(), "[j2534] PassThruReadMsgs OK ch=5 n=2 timeout=100 first=[00 00 07 E8 02 10 00]");
}

}  // namespace
}  // namespace vexo::e2e
