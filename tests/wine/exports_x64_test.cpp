// Every export reached through GetProcAddress under its plain name and called with the header's
// own argument types, the way a 64-bit application (ctypes, P/Invoke, C++) calls it. x64 has one
// calling convention, so what matters is that the names resolve undecorated and the records
// whose layout differs from 32-bit (SCONFIG_LIST, SBYTE_ARRAY) are read where the header puts them.
#include <cstdint>
#include <vector>

#include "exports_fixture.h"
#include "vexo/j2534.h"

static_assert(sizeof(void*) == 8, "the 32-bit DLL has its own check of the __stdcall convention");

namespace {

// The export `name`, typed as the header declares it.
#define EXPORT(name) export_of<decltype(&name)>(#name)

class X64Exports : public ExportsFixture {
protected:
    template <class F>
    F export_of(const char* name) {
        const auto function = reinterpret_cast<F>(reinterpret_cast<void*>(address_of(name)));
        EXPECT_NE(function, nullptr) << name;
        return function;
    }
};

TEST_F(X64Exports, NoDecoratedNames) {
    // A __stdcall name decorated the 32-bit way would not be found by applications.
    for (const char* decorated : {"_PassThruOpen@8", "PassThruOpen@8", "_PassThruClose@4"}) {
        EXPECT_EQ(GetProcAddress(library_, decorated), nullptr) << decorated;
    }
}

TEST_F(X64Exports, EachReturnsItsStatusOnItsErrorPath) {
    PASSTHRU_MSG msgs[2] = {};
    std::uint32_t n = 1, id = 0;
    char text[80] = {}, firmware[80] = {}, dll[80] = {}, api[80] = {};
    EXPECT_EQ(EXPORT(PassThruOpen)(nullptr, nullptr), ERR_NULL_PARAMETER);
    EXPECT_EQ(EXPORT(PassThruClose)(1), ERR_DEVICE_NOT_CONNECTED);
    EXPECT_EQ(EXPORT(PassThruConnect)(1, CAN, 0, 500000, &id), ERR_DEVICE_NOT_CONNECTED);
    EXPECT_EQ(EXPORT(PassThruDisconnect)(CAN), ERR_DEVICE_NOT_CONNECTED);
    EXPECT_EQ(EXPORT(PassThruReadMsgs)(CAN, msgs, &n, 0), ERR_DEVICE_NOT_CONNECTED);
    EXPECT_EQ(EXPORT(PassThruWriteMsgs)(CAN, msgs, &n, 0), ERR_DEVICE_NOT_CONNECTED);
    EXPECT_EQ(EXPORT(PassThruStartPeriodicMsg)(CAN, msgs, &id, 100), ERR_DEVICE_NOT_CONNECTED);
    EXPECT_EQ(EXPORT(PassThruStopPeriodicMsg)(CAN, 1), ERR_DEVICE_NOT_CONNECTED);
    EXPECT_EQ(EXPORT(PassThruStartMsgFilter)(CAN, PASS_FILTER, &msgs[0], &msgs[1], nullptr, &id),
              ERR_DEVICE_NOT_CONNECTED);
    EXPECT_EQ(EXPORT(PassThruStopMsgFilter)(CAN, 1), ERR_DEVICE_NOT_CONNECTED);
    EXPECT_EQ(EXPORT(PassThruSetProgrammingVoltage)(1, 15, VOLTAGE_OFF), ERR_DEVICE_NOT_CONNECTED);
    EXPECT_EQ(EXPORT(PassThruReadVersion)(1, firmware, dll, api), ERR_DEVICE_NOT_CONNECTED);
    EXPECT_EQ(EXPORT(PassThruIoctl)(0, READ_VBATT, nullptr, nullptr), ERR_NULL_PARAMETER);
    // Refused null pointers leave the text of the last failure.
    EXPECT_EQ(EXPORT(PassThruGetLastError)(text), STATUS_NOERROR);
    EXPECT_STREQ(text, "device not connected");
    EXPECT_EQ(EXPORT(PassThruGetLastError)(nullptr), ERR_NULL_PARAMETER);
    expect_all_fourteen_called();
}

TEST_F(X64Exports, EachWorksThroughASessionWithTheCable) {
    std::uint32_t device = 0, channel = 0, filter = 0, periodic = 0, n = 1, millivolts = 0;
    char text[80] = {}, firmware[80] = {}, dll[80] = {}, api[80] = {};
    ASSERT_EQ(EXPORT(PassThruOpen)(nullptr, &device), STATUS_NOERROR);
    ASSERT_EQ(device, 1u);
    EXPECT_EQ(EXPORT(PassThruReadVersion)(device, firmware, dll, api), STATUS_NOERROR);
    EXPECT_STREQ(api, "04.04");
    EXPECT_EQ(EXPORT(PassThruIoctl)(device, READ_VBATT, nullptr, &millivolts), STATUS_NOERROR);
    EXPECT_EQ(millivolts, 12600u);
    EXPECT_EQ(EXPORT(PassThruSetProgrammingVoltage)(device, 15, 12000), ERR_NOT_SUPPORTED);
    EXPECT_EQ(EXPORT(PassThruGetLastError)(text), STATUS_NOERROR);
    EXPECT_STREQ(text, "operation not supported");

    ASSERT_EQ(EXPORT(PassThruConnect)(device, CAN, 0, 500000, &channel), STATUS_NOERROR);
    ASSERT_EQ(channel, CAN);
    PASSTHRU_MSG mask, pattern;
    can_filter(mask, pattern);
    EXPECT_EQ(EXPORT(PassThruStartMsgFilter)(channel, PASS_FILTER, &mask, &pattern, nullptr, &filter),
              STATUS_NOERROR);
    PASSTHRU_MSG frame = tester_present();
    EXPECT_EQ(EXPORT(PassThruWriteMsgs)(channel, &frame, &n, 100), STATUS_NOERROR);
    EXPECT_EQ(EXPORT(PassThruStartPeriodicMsg)(channel, &frame, &periodic, 1000), ERR_NOT_SUPPORTED);
    EXPECT_EQ(EXPORT(PassThruStopPeriodicMsg)(channel, 1), ERR_NOT_SUPPORTED);

    // The 64-bit layouts: each record's pointer sits at offset 8, after the count and padding.
    SCONFIG set[2] = {{DATA_RATE, 500000}, {LOOPBACK, 0}};
    SCONFIG_LIST set_list{2, set};
    EXPECT_EQ(EXPORT(PassThruIoctl)(channel, SET_CONFIG, &set_list, nullptr), STATUS_NOERROR);
    SCONFIG got[2] = {{DATA_RATE, 7}, {P1_MAX, 7}};
    SCONFIG_LIST got_list{2, got};
    EXPECT_EQ(EXPORT(PassThruIoctl)(channel, GET_CONFIG, &got_list, nullptr), STATUS_NOERROR);
    EXPECT_EQ(got[0].Value, 500000u);
    EXPECT_EQ(got[1].Value, 40u);
    std::uint8_t address = 0x33;
    SBYTE_ARRAY request{1, &address};
    EXPECT_EQ(EXPORT(PassThruIoctl)(channel, FIVE_BAUD_INIT, &request, nullptr), ERR_NOT_SUPPORTED);
    SBYTE_ARRAY no_bytes{1, nullptr};
    EXPECT_EQ(EXPORT(PassThruIoctl)(channel, FIVE_BAUD_INIT, &no_bytes, nullptr), ERR_NULL_PARAMETER);

    std::vector<PASSTHRU_MSG> received(4);
    n = 4;
    EXPECT_EQ(EXPORT(PassThruReadMsgs)(channel, received.data(), &n, 0), ERR_BUFFER_EMPTY);
    EXPECT_EQ(EXPORT(PassThruStopMsgFilter)(channel, filter), STATUS_NOERROR);
    EXPECT_EQ(EXPORT(PassThruDisconnect)(channel), STATUS_NOERROR);
    EXPECT_EQ(EXPORT(PassThruClose)(device), STATUS_NOERROR);
    expect_all_fourteen_called();
}

}  // namespace
