// Opening, identifying and closing the cable; versions and programming voltage.
#include "passthru_fixture.h"
#include "vexo/version.h"

namespace vexo::e2e {
namespace {

using Strings = std::vector<std::string>;
using DeviceEntryPoints = PassThruTest;

TEST_F(DeviceEntryPoints, OpenIdentifiesAndActivatesTheCable) {
    ASSERT_EQ(sim.set_identity("OP2 e2e"), 0);
    J2534_ULONG id = 0;
    ASSERT_EQ(pt.PassThruOpen(nullptr, &id), STATUS_NOERROR);
    EXPECT_EQ(id, 1u);
    EXPECT_EQ(wire.take(), "ati\r\nata\r\n");
    EXPECT_EQ(log.take(), (Strings{
                              "[tactrix] tactrix TX wire: 5 bytes [61 74 69 0D 0A]",
                              wire_line("RX", "ariOP2 e2e\r\n"),
                              "[tactrix] tactrix RX frame: Identify(\"OP2 e2e\")",
                              "[tactrix] tactrix TX wire: 5 bytes [61 74 61 0D 0A]",
                              "[tactrix] tactrix RX wire: 5 bytes [61 72 6F 0D 0A]",
                              "[tactrix] tactrix RX frame: Ack(channel=None)",
                              "[j2534] PassThruOpen OK id=1",
                          }));
}

TEST_F(DeviceEntryPoints, OpenWithoutDeviceIdPointerTouchesNothing) {
    EXPECT_EQ(pt.PassThruOpen(nullptr, nullptr), ERR_NULL_PARAMETER);
    EXPECT_EQ(wire.take(), "");
    EXPECT_EQ(log.take(), Strings{});
}

TEST_F(DeviceEntryPoints, SecondOpenIsRefusedAndKeepsTheLastErrorText) {
    open_device();
    mark_last_error();
    J2534_ULONG id = 77;
    EXPECT_EQ(pt.PassThruOpen(nullptr, &id), ERR_DEVICE_IN_USE);
    EXPECT_EQ(id, 77u);
    EXPECT_EQ(wire.take(), "");
    EXPECT_EQ(log.take(), Strings{"[j2534] PassThruOpen ERR device already open"});
    EXPECT_EQ(last_error(), kMarkedError);
    // The first device is still the open one.
    char firmware[80], dll[80], api[80];
    EXPECT_EQ(pt.PassThruReadVersion(1, firmware, dll, api), STATUS_NOERROR);
}

TEST_F(DeviceEntryPoints, OpenWithNoCableAttachedReportsTheMissingCable) {
    sim.reset();
    EXPECT_EQ(sim.set_identity("none"), -1);
    J2534_ULONG id = 77;
    EXPECT_EQ(pt.PassThruOpen(nullptr, &id), ERR_DEVICE_NOT_CONNECTED);
    EXPECT_EQ(id, 77u);
    EXPECT_EQ(last_error(), "transport error: I/O error: Tactrix not found (VID=0x0403 PID=0xcc4d)");
    EXPECT_EQ(
        log.take(),
        Strings{"[j2534] PassThruOpen ERR transport error: I/O error: Tactrix not found (VID=0x0403 PID=0xcc4d)"});

    // The slot stayed empty: plugging the cable in is all it takes.
    sim.attach_cables(1);
    EXPECT_EQ(pt.PassThruOpen(nullptr, &id), STATUS_NOERROR);
    EXPECT_EQ(id, 1u);
}

TEST_F(DeviceEntryPoints, CableThatRejectsIdentifyIsClosedAgain) {
    ASSERT_EQ(sim.reject('i', "busy", 1), 0);
    J2534_ULONG id = 0;
    EXPECT_EQ(pt.PassThruOpen(nullptr, &id), ERR_FAILED);
    EXPECT_EQ(last_error(), "internal error: Tactrix rejected identify (are busy)");
    // The discarded device says goodbye to the cable before letting go of it.
    EXPECT_EQ(wire.take(), "ati\r\natz\r\n");
    const auto lines = log.take();
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back(), "[j2534] PassThruOpen ERR internal error: Tactrix rejected identify (are busy)");
}

TEST_F(DeviceEntryPoints, CableThatNeverAnswersIdentifyTimesOut) {
    ASSERT_EQ(sim.silence('i', 1), 0);
    J2534_ULONG id = 0;
    EXPECT_EQ(pt.PassThruOpen(nullptr, &id), ERR_TIMEOUT);
    EXPECT_EQ(last_error(), "transport error: operation timed out");
    EXPECT_EQ(wire.take(), "ati\r\natz\r\n");
    EXPECT_EQ(log.take().back(), "[j2534] PassThruOpen ERR transport error: operation timed out");
}

TEST_F(DeviceEntryPoints, ReadVersionReportsIdentityLibraryAndApiWithoutALogLine) {
    open_device();
    char firmware[80] = "x", dll[80] = "x", api[80] = "x";
    ASSERT_EQ(pt.PassThruReadVersion(1, firmware, dll, api), STATUS_NOERROR);
    EXPECT_STREQ(firmware, "Openport 2.0 sim 1.17.4877");
    EXPECT_STREQ(dll, VEXO_VERSION_TEXT);
    EXPECT_STREQ(api, "04.04");
    EXPECT_EQ(log.take(), Strings{});
    EXPECT_EQ(wire.take(), "");
}

TEST_F(DeviceEntryPoints, ReadVersionFallsBackOnAnEmptyIdentityAndCutsLongOnes) {
    ASSERT_EQ(sim.set_identity(""), 0);
    open_device();
    char firmware[80], dll[80], api[80];
    ASSERT_EQ(pt.PassThruReadVersion(1, firmware, dll, api), STATUS_NOERROR);
    EXPECT_STREQ(firmware, "Tactrix Openport 2.0");
    ASSERT_EQ(pt.PassThruClose(1), STATUS_NOERROR);

    const std::string hundred(100, 'v');
    ASSERT_EQ(sim.set_identity(hundred.c_str()), 0);
    open_device();
    char wide[120];
    std::fill(std::begin(wide), std::end(wide), '#');
    ASSERT_EQ(pt.PassThruReadVersion(1, wide, dll, api), STATUS_NOERROR);
    EXPECT_EQ(std::string(wide), std::string(79, 'v'));
    EXPECT_EQ(wide[80], '#');
}

TEST_F(DeviceEntryPoints, ReadVersionChecksEveryBufferAndNeedsADevice) {
    char firmware[80] = "keep", dll[80] = "keep";
    EXPECT_EQ(pt.PassThruReadVersion(1, firmware, dll, nullptr), ERR_NULL_PARAMETER);
    EXPECT_STREQ(firmware, "keep");
    EXPECT_STREQ(dll, "keep");
    char api[80] = "keep";
    EXPECT_EQ(pt.PassThruReadVersion(1, firmware, dll, api), ERR_DEVICE_NOT_CONNECTED);
    EXPECT_EQ(last_error(), "device not connected");
    EXPECT_STREQ(firmware, "keep");
    EXPECT_EQ(log.take(), Strings{});
}

TEST_F(DeviceEntryPoints, ProgrammingVoltageIsNotSupportedAndLogsNothing) {
    EXPECT_EQ(pt.PassThruSetProgrammingVoltage(1, 15, 12000), ERR_DEVICE_NOT_CONNECTED);
    open_device();
    EXPECT_EQ(pt.PassThruSetProgrammingVoltage(1, 15, 12000), ERR_NOT_SUPPORTED);
    EXPECT_EQ(last_error(), "operation not supported");
    EXPECT_EQ(pt.PassThruSetProgrammingVoltage(1, 15, VOLTAGE_OFF), ERR_NOT_SUPPORTED);
    EXPECT_EQ(wire.take(), "");
    EXPECT_EQ(log.take(), Strings{});
}

TEST_F(DeviceEntryPoints, CloseDisconnectsEveryChannelThenClosesTheCable) {
    open_device();
    connect(ISO9141, 10400);
    connect(ISO15765, 500000);
    ASSERT_EQ(pt.PassThruClose(7), STATUS_NOERROR);
    const std::string written = wire.take();
    EXPECT_TRUE(written == "atc3\r\natc6\r\natz\r\n" || written == "atc6\r\natc3\r\natz\r\n") << written;
    const auto lines = log.take();
    ASSERT_EQ(lines.size(), 8u);
    EXPECT_EQ(lines[6], "[tactrix] tactrix TX wire: 5 bytes [61 74 7A 0D 0A]");
    EXPECT_EQ(lines[7], "[j2534] PassThruClose OK id=7");

    // Closed for good: the device is gone from the slot.
    char firmware[80], dll[80], api[80];
    EXPECT_EQ(pt.PassThruReadVersion(1, firmware, dll, api), ERR_DEVICE_NOT_CONNECTED);
    EXPECT_EQ(pt.PassThruClose(1), ERR_DEVICE_NOT_CONNECTED);
    EXPECT_EQ(log.take(), Strings{"[j2534] PassThruClose ERR id=1 device not connected"});
    EXPECT_EQ(wire.take(), "");
    EXPECT_EQ(last_error(), "device not connected");
}

TEST_F(DeviceEntryPoints, CloseSucceedsWhenTheCableIsGone) {
    open_device();
    connect(CAN, 500000);
    sim.unplug(0);
    EXPECT_EQ(pt.PassThruClose(1), STATUS_NOERROR);
    EXPECT_EQ(log.take().back(), "[j2534] PassThruClose OK id=1");
    J2534_ULONG id = 0;
    EXPECT_EQ(pt.PassThruOpen(nullptr, &id), ERR_DEVICE_NOT_CONNECTED);
}

}  // namespace
}  // namespace vexo::e2e
