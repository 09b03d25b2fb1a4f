#include <array>
#include <functional>

#include "unit/device_double.h"

namespace vexo {
namespace {

using namespace api;
using namespace testing_support;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

// Every required pointer, one at a time.
std::vector<std::function<std::uint32_t()>> null_pointer_calls() {
    static PASSTHRU_MSG msg{};
    static std::uint32_t out = 0;
    static char text[80];
    return {
        [] { return PassThruOpen(nullptr, nullptr); },
        [] { return PassThruConnect(1, ISO15765, 0, 500000, nullptr); },
        [] { return PassThruReadMsgs(1, nullptr, &out, 0); },
        [] { return PassThruReadMsgs(1, &msg, nullptr, 0); },
        [] { return PassThruWriteMsgs(1, nullptr, &out, 0); },
        [] { return PassThruWriteMsgs(1, &msg, nullptr, 0); },
        [] { return PassThruStartPeriodicMsg(1, nullptr, &out, 100); },
        [] { return PassThruStartPeriodicMsg(1, &msg, nullptr, 100); },
        [] { return PassThruStartMsgFilter(1, PASS_FILTER, nullptr, &msg, &msg, &out); },
        [] { return PassThruStartMsgFilter(1, PASS_FILTER, &msg, nullptr, &msg, &out); },
        [] { return PassThruStartMsgFilter(1, PASS_FILTER, &msg, &msg, &msg, nullptr); },
        [] { return PassThruReadVersion(1, nullptr, text, text); },
        [] { return PassThruReadVersion(1, text, nullptr, text); },
        [] { return PassThruReadVersion(1, text, text, nullptr); },
        [] { return PassThruGetLastError(nullptr); },
    };
}

TEST_F(NoDeviceTest, NullPointersReturn04SilentlyWithLastErrorUnchanged) {
    last_error::store("earlier failure");
    for (const auto& call : null_pointer_calls()) EXPECT_EQ(call(), ERR_NULL_PARAMETER);
    EXPECT_THAT(log.take(), IsEmpty());
    EXPECT_EQ(last_error_text(), "earlier failure");
}

TEST_F(OpenDeviceTest, NullPointersReturn04WithoutReachingTheDevice) {
    ::testing::Mock::VerifyAndClearExpectations(device);
    EXPECT_CALL(*device, connect).Times(0);
    EXPECT_CALL(*device, read_msgs).Times(0);
    EXPECT_CALL(*device, write_msgs).Times(0);
    EXPECT_CALL(*device, start_msg_filter).Times(0);
    EXPECT_CALL(*device, read_version).Times(0);
    for (const auto& call : null_pointer_calls()) EXPECT_EQ(call(), ERR_NULL_PARAMETER);
    EXPECT_THAT(log.take(), IsEmpty());
}

TEST_F(NoDeviceTest, EveryDeviceCallFailsWith08AndItsFailureLine) {
    struct Case {
        std::function<std::uint32_t()> call;
        std::vector<std::string> lines;
    };
    std::uint32_t out = 0xAAAA;
    PASSTHRU_MSG msg = passthru_msg({0x07, 0xE8, 0x03}, 0x40);
    char text[80] = "untouched";
    SCONFIG config[] = {{DATA_RATE, 10400}, {LOOPBACK, 0}};
    SCONFIG_LIST config_list{2, config};
    std::uint8_t address = 0x33;
    SBYTE_ARRAY five_baud{1, &address};
    const Case cases[] = {
        {[] { return PassThruClose(1); }, {"[j2534] PassThruClose ERR id=1 device not connected"}},
        {[&] { return PassThruConnect(1, ISO15765, 0x800, 500000, &out); },
         {"[j2534] PassThruConnect ERR proto=6 flags=0x800 baud=500000 device not connected"}},
        {[] { return PassThruDisconnect(5); }, {"[j2534] PassThruDisconnect ERR ch=5 device not connected"}},
        {[&] {
             out = 10;
             return PassThruReadMsgs(1, &msg, &out, 100);
         },
         {"[j2534] PassThruReadMsgs ERR ch=1 timeout=100 device not connected"}},
        {[&] {
             out = 1;
             return PassThruWriteMsgs(2, &msg, &out, 0);
         },
         {"[j2534] PassThruWriteMsgs ERR ch=2 n=1 first=[tx_flags=0x40 data=[07 E8 03]] device not connected"}},
        {[&] { return PassThruStartMsgFilter(6, FLOW_CONTROL_FILTER, &msg, &msg, nullptr, &out); },
         {"[j2534] PassThruStartMsgFilter ERR ch=6 type=3 mask=[07 E8 03] pattern=[07 E8 03] flow=[(none)] "
          "device not connected"}},
        {[] { return PassThruStopMsgFilter(6, 1); },
         {"[j2534] PassThruStopMsgFilter ERR ch=6 id=1 device not connected"}},
        {[&] { return PassThruStartPeriodicMsg(1, &msg, &out, 100); },
         {"[j2534] PassThruStartPeriodicMsg ERR ch=1 interval=100 msg=[tx_flags=0x40 data=[07 E8 03]] device not "
          "connected"}},
        {[] { return PassThruStopPeriodicMsg(1, 1); },
         {"[j2534] PassThruStopPeriodicMsg ERR ch=1 id=1 device not connected"}},
        {[] { return PassThruSetProgrammingVoltage(1, 12, 5000); }, {}},
        {[&] { return PassThruReadVersion(1, text, text, text); }, {}},
        {[&] { return PassThruIoctl(3, SET_CONFIG, &config_list, nullptr); },
         {"[j2534] PassThruIoctl ch=3 id=0x02", "[j2534] PassThruIoctl SET_CONFIG ch=3 params=[0x1=10400, 0x3=0]"}},
        {[&] { return PassThruIoctl(3, READ_VBATT, nullptr, &out); },
         {"[j2534] PassThruIoctl ch=3 id=0x03", "[j2534] PassThruIoctl READ_VBATT ERR device not connected"}},
        {[&] { return PassThruIoctl(4, FIVE_BAUD_INIT, &five_baud, nullptr); }, {"[j2534] PassThruIoctl ch=4 id=0x04"}},
        {[&] { return PassThruIoctl(4, FAST_INIT, nullptr, &msg); },
         {"[j2534] PassThruIoctl ch=4 id=0x05",
          "[j2534] PassThruIoctl FAST_INIT ERR ch=4 input=null device not connected"}},
    };
    for (const Case& c : cases) {
        last_error::store("earlier failure");
        EXPECT_EQ(c.call(), ERR_DEVICE_NOT_CONNECTED) << ::testing::PrintToString(c.lines);
        EXPECT_EQ(log.take(), c.lines);
        EXPECT_EQ(last_error_text(), "device not connected");
    }
    // Outputs are written on success only, but for the count of a read or write: nothing went through.
    EXPECT_EQ(msg.DataSize, 3u);
    EXPECT_EQ(std::string(text), "untouched");
    EXPECT_EQ(out, 0u);
}

TEST_F(NoDeviceTest, GetLastErrorCopiesAtMost79BytesAndANul) {
    std::array<char, 100> buffer;
    buffer.fill('#');
    last_error::store(std::string(60, 'a') + std::string(40, 'b'));
    ASSERT_EQ(PassThruGetLastError(buffer.data()), STATUS_NOERROR);
    EXPECT_EQ(std::string(buffer.data()), std::string(60, 'a') + std::string(19, 'b'));
    EXPECT_EQ(buffer[79], '\0');
    EXPECT_EQ(buffer[80], '#');

    // Reading does not consume the text; an empty text is a lone NUL.
    ASSERT_EQ(PassThruGetLastError(buffer.data()), STATUS_NOERROR);
    EXPECT_EQ(std::string(buffer.data()).size(), 79u);
    last_error::store("");
    ASSERT_EQ(PassThruGetLastError(buffer.data()), STATUS_NOERROR);
    EXPECT_EQ(buffer[0], '\0');
    EXPECT_EQ(buffer[1], 'a');
    EXPECT_THAT(log.take(), IsEmpty());
}

}  // namespace
}  // namespace vexo
