// Every export called through a bare pointer from GetProcAddress, the way a 32-bit application
// calls it: each must pop exactly its own arguments and keep EBX, ESI and EDI, on its error
// paths and through a session with the simulated cable alike.
#include <cstdint>
#include <vector>

#include "exports_fixture.h"
#include "stdcall_thunk.h"
#include "vexo/j2534.h"

namespace {

std::uint32_t arg(const void* pointer) { return static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(pointer)); }

class StdcallExports : public ExportsFixture {
protected:
    // Calls the export with these arguments and checks the stack, the registers and the status.
    void call(const char* name, std::vector<std::uint32_t> args, std::uint32_t status) {
        const auto function = reinterpret_cast<const void*>(address_of(name));
        ASSERT_NE(function, nullptr) << name;
        StdcallOutcome outcome{-1, 0xFFFFFFFF, 0};
        vexo_call_stdcall(function, args.data(), static_cast<std::uint32_t>(args.size()), &outcome);
        EXPECT_EQ(outcome.esp_drift, 0) << name << " called with " << args.size() << " arguments";
        EXPECT_EQ(outcome.registers_kept, 1u) << name << " changed EBX, ESI or EDI";
        EXPECT_EQ(outcome.result, status) << name;
    }
};

TEST_F(StdcallExports, EachPopsItsArgumentsOnItsErrorPath) {
    PASSTHRU_MSG msgs[2] = {};
    std::uint32_t n = 1, id = 0;
    char text[80] = {}, firmware[80] = {}, dll[80] = {}, api[80] = {};
    call("PassThruOpen", {0, 0}, ERR_NULL_PARAMETER);
    call("PassThruClose", {1}, ERR_DEVICE_NOT_CONNECTED);
    call("PassThruConnect", {1, CAN, 0, 500000, arg(&id)}, ERR_DEVICE_NOT_CONNECTED);
    call("PassThruDisconnect", {CAN}, ERR_DEVICE_NOT_CONNECTED);
    call("PassThruReadMsgs", {CAN, arg(msgs), arg(&n), 0}, ERR_DEVICE_NOT_CONNECTED);
    call("PassThruWriteMsgs", {CAN, arg(msgs), arg(&n), 0}, ERR_DEVICE_NOT_CONNECTED);
    call("PassThruStartPeriodicMsg", {CAN, arg(msgs), arg(&id), 100}, ERR_DEVICE_NOT_CONNECTED);
    call("PassThruStopPeriodicMsg", {CAN, 1}, ERR_DEVICE_NOT_CONNECTED);
    call("PassThruStartMsgFilter", {CAN, PASS_FILTER, arg(&msgs[0]), arg(&msgs[1]), 0, arg(&id)},
         ERR_DEVICE_NOT_CONNECTED);
    call("PassThruStopMsgFilter", {CAN, 1}, ERR_DEVICE_NOT_CONNECTED);
    call("PassThruSetProgrammingVoltage", {1, 15, VOLTAGE_OFF}, ERR_DEVICE_NOT_CONNECTED);
    call("PassThruReadVersion", {1, arg(firmware), arg(dll), arg(api)}, ERR_DEVICE_NOT_CONNECTED);
    call("PassThruIoctl", {0, READ_VBATT, 0, 0}, ERR_NULL_PARAMETER);
    // Refused null pointers leave the text of the last failure.
    call("PassThruGetLastError", {arg(text)}, STATUS_NOERROR);
    EXPECT_STREQ(text, "device not connected");
    call("PassThruGetLastError", {0}, ERR_NULL_PARAMETER);
    expect_all_fourteen_called();
}

TEST_F(StdcallExports, EachPopsItsArgumentsThroughASessionWithTheCable) {
    std::uint32_t device = 0, channel = 0, filter = 0, periodic = 0, n = 1, millivolts = 0;
    char text[80] = {}, firmware[80] = {}, dll[80] = {}, api[80] = {};
    call("PassThruOpen", {0, arg(&device)}, STATUS_NOERROR);
    ASSERT_EQ(device, 1u);
    call("PassThruReadVersion", {device, arg(firmware), arg(dll), arg(api)}, STATUS_NOERROR);
    EXPECT_STREQ(api, "04.04");
    call("PassThruIoctl", {device, READ_VBATT, 0, arg(&millivolts)}, STATUS_NOERROR);
    EXPECT_EQ(millivolts, 12600u);
    call("PassThruSetProgrammingVoltage", {device, 15, 12000}, ERR_NOT_SUPPORTED);
    call("PassThruGetLastError", {arg(text)}, STATUS_NOERROR);
    EXPECT_STREQ(text, "operation not supported");

    call("PassThruConnect", {device, CAN, 0, 500000, arg(&channel)}, STATUS_NOERROR);
    ASSERT_EQ(channel, CAN);
    PASSTHRU_MSG mask, pattern;
    can_filter(mask, pattern);
    call("PassThruStartMsgFilter", {channel, PASS_FILTER, arg(&mask), arg(&pattern), 0, arg(&filter)}, STATUS_NOERROR);
    PASSTHRU_MSG frame = tester_present();
    call("PassThruWriteMsgs", {channel, arg(&frame), arg(&n), 100}, STATUS_NOERROR);
    // Periodic messages are not supported by this cable's driver.
    call("PassThruStartPeriodicMsg", {channel, arg(&frame), arg(&periodic), 1000}, ERR_NOT_SUPPORTED);
    call("PassThruStopPeriodicMsg", {channel, 1}, ERR_NOT_SUPPORTED);
    SCONFIG loopback{LOOPBACK, 0};
    SCONFIG_LIST list{1, &loopback};
    call("PassThruIoctl", {channel, SET_CONFIG, arg(&list), 0}, STATUS_NOERROR);
    std::vector<PASSTHRU_MSG> received(4);
    n = 4;
    call("PassThruReadMsgs", {channel, arg(received.data()), arg(&n), 0}, ERR_BUFFER_EMPTY);
    call("PassThruStopMsgFilter", {channel, filter}, STATUS_NOERROR);
    call("PassThruDisconnect", {channel}, STATUS_NOERROR);
    call("PassThruClose", {device}, STATUS_NOERROR);
    expect_all_fourteen_called();
}

}  // namespace
