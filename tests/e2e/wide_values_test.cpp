// Values wider than the device's 32 bits, which only a caller with a 64-bit unsigned long can
// pass (the platform library on 64-bit Linux): refused by name, never cut, outputs at full width.
#include <functional>

#include "passthru_fixture.h"

namespace vexo::e2e {
namespace {

using Strings = std::vector<std::string>;
using WideValues = PassThruTest;

constexpr J2534_ULONG wide(unsigned long long value) { return static_cast<J2534_ULONG>(value); }
constexpr unsigned long long k2to32 = 1ull << 32;

TEST_F(WideValues, AreRefusedByNameAndNeverReachTheCable) {
    if (sizeof(J2534_ULONG) <= 4) GTEST_SKIP() << "32-bit fields hold no wider value";
    open_device();
    connect(CAN, 500000);
    J2534_ULONG out = 77;
    PASSTHRU_MSG msg = passthru_msg(CAN, 0, {0x00, 0x00, 0x07, 0xDF, 0x01, 0x00});
    msg.TxFlags = wide(k2to32 << 1);
    SCONFIG pairs[] = {{DATA_RATE, wide(k2to32)}, {wide(k2to32 | LOOPBACK), 0}};
    SCONFIG_LIST first{1, &pairs[0]};
    SCONFIG_LIST second{1, &pairs[1]};
    struct Case {
        std::function<J2534_STATUS()> call;
        J2534_STATUS status;
        std::string text;
        Strings lines;
    };
    const Case cases[] = {
        {[&] { return pt.PassThruConnect(1, ISO15765, 0, wide(k2to32 + 500000), &out); }, ERR_INVALID_BAUDRATE,
         "baud rate 4295467296 does not fit in 32 bits",
         {"[j2534] PassThruConnect ERR proto=6 flags=0x0 baud=4295467296 baud rate 4295467296 does not fit in 32 bits"}},
        {[&] { return pt.PassThruConnect(1, ISO15765, wide(k2to32 | CAN_29BIT_ID), 500000, &out); }, ERR_INVALID_FLAGS,
         "flags 0x100000100 does not fit in 32 bits",
         {"[j2534] PassThruConnect ERR proto=6 flags=0x100000100 baud=500000 flags 0x100000100 does not fit in 32 bits"}},
        {[&] {
             out = 1;
             return pt.PassThruWriteMsgs(CAN, &msg, &out, 100);
         },
         ERR_INVALID_FLAGS, "TxFlags 0x200000000 does not fit in 32 bits",
         {"[j2534] PassThruWriteMsgs ERR ch=5 n=1 first=[tx_flags=0x200000000 data=[00 00 07 DF 01 00]] TxFlags "
          "0x200000000 does not fit in 32 bits"}},
        {[&] { return pt.PassThruIoctl(CAN, SET_CONFIG, &first, nullptr); }, ERR_INVALID_IOCTL_VALUE,
         "invalid value 0x100000000 for parameter 0x00000001",
         {"[j2534] PassThruIoctl ch=5 id=0x02", "[j2534] PassThruIoctl SET_CONFIG ch=5 params=[0x1=4294967296]"}},
        {[&] { return pt.PassThruIoctl(CAN, SET_CONFIG, &second, nullptr); }, ERR_INVALID_IOCTL_VALUE,
         "invalid value 0x00000000 for parameter 0x100000003",
         {"[j2534] PassThruIoctl ch=5 id=0x02", "[j2534] PassThruIoctl SET_CONFIG ch=5 params=[0x100000003=0]"}},
        {[&] { return pt.PassThruDisconnect(wide(k2to32 + CAN)); }, ERR_INVALID_CHANNEL_ID,
         "channel ID 4294967301 does not fit in 32 bits",
         {"[j2534] PassThruDisconnect ERR ch=4294967301 channel ID 4294967301 does not fit in 32 bits"}},
        {[&] { return pt.PassThruStopMsgFilter(CAN, wide(k2to32)); }, ERR_INVALID_FILTER_ID,
         "filter ID 4294967296 does not fit in 32 bits",
         {"[j2534] PassThruStopMsgFilter ERR ch=5 id=4294967296 filter ID 4294967296 does not fit in 32 bits"}},
        {[&] { return pt.PassThruIoctl(CAN, wide(k2to32 | READ_VBATT), nullptr, &out); }, ERR_INVALID_IOCTL_ID,
         "ioctl ID 4294967299 does not fit in 32 bits", {"[j2534] PassThruIoctl ch=5 id=0x100000003"}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.call(), c.status) << c.text;
        EXPECT_EQ(last_error(), c.text);
        EXPECT_EQ(log.take(), c.lines) << c.text;
    }
    EXPECT_EQ(out, 0u);  // the refused write counted nothing; nothing else wrote an output

    // A channel ID or parameter wider than 32 bits is one the device cannot know: GET_CONFIG gives
    // the defaults, CLEAR_RX_BUFFER and CLEAR_MSG_FILTERS clear nothing and succeed.
    SCONFIG got[] = {{DATA_RATE, 7}, {wide(k2to32 | DATA_RATE), 7}};
    SCONFIG_LIST got_list{2, got};
    ASSERT_EQ(pt.PassThruIoctl(wide(k2to32 + CAN), GET_CONFIG, &got_list, nullptr), STATUS_NOERROR);
    EXPECT_EQ(got[0].Value, 10400u);
    ASSERT_EQ(pt.PassThruIoctl(CAN, GET_CONFIG, &got_list, nullptr), STATUS_NOERROR);
    EXPECT_EQ(std::vector<J2534_ULONG>({got[0].Value, got[1].Value}), std::vector<J2534_ULONG>({500000, 0}));
    EXPECT_EQ(pt.PassThruIoctl(wide(k2to32 + CAN), CLEAR_RX_BUFFER, nullptr, nullptr), STATUS_NOERROR);
    EXPECT_EQ(pt.PassThruIoctl(wide(k2to32 + CAN), CLEAR_MSG_FILTERS, nullptr, nullptr), STATUS_NOERROR);
    EXPECT_EQ(wire.take(), "");

    // A count and a time-out are clamped, not refused.
    std::vector<PASSTHRU_MSG> msgs(2);
    out = wide(k2to32 + 2);
    EXPECT_EQ(pt.PassThruReadMsgs(CAN, msgs.data(), &out, 0), ERR_BUFFER_EMPTY);
    EXPECT_EQ(out, 0u);
    msg.TxFlags = 0;
    out = 1;
    ASSERT_EQ(pt.PassThruWriteMsgs(CAN, &msg, &out, wide(k2to32 << 8)), STATUS_NOERROR);
    EXPECT_EQ(out, 1u);
    EXPECT_EQ(wire.take(), "att5 6 64\r\n" + data_of(msg));
}

TEST_F(WideValues, OutputsAreWrittenAtTheCallersFullWidth) {
    J2534_ULONG id = wide(~0ull);
    ASSERT_EQ(pt.PassThruOpen(nullptr, &id), STATUS_NOERROR);
    J2534_ULONG channel = wide(~0ull);
    ASSERT_EQ(pt.PassThruConnect(id, CAN, 0, 500000, &channel), STATUS_NOERROR);
    J2534_ULONG millivolts = wide(~0ull);
    ASSERT_EQ(pt.PassThruIoctl(id, READ_VBATT, nullptr, &millivolts), STATUS_NOERROR);
    EXPECT_EQ(id, 1u);
    EXPECT_EQ(channel, J2534_ULONG{CAN});
    EXPECT_EQ(millivolts, 12600u);
}

}  // namespace
}  // namespace vexo::e2e
