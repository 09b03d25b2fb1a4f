#include <array>

#include "unit/device_double.h"

namespace vexo {
namespace {

using namespace api;
using namespace testing_support;
using ::testing::ElementsAre;
using ::testing::IsEmpty;
using ::testing::Return;

std::unique_ptr<MockDevice> device_opening_with(Result<std::uint32_t> result) {
    auto device = std::make_unique<::testing::NiceMock<MockDevice>>();
    ON_CALL(*device, open).WillByDefault(Return(result));
    return device;
}

TEST_F(NoDeviceTest, OpenStoresTheDeviceIdAndFillsTheSlot) {
    auto owned = device_opening_with(7u);
    MockDevice* device = owned.get();
    EXPECT_CALL(*device, open(0u));
    set_device_factory([&] { return std::move(owned); });
    std::uint32_t id = 0;
    ASSERT_EQ(PassThruOpen(nullptr, &id), STATUS_NOERROR);
    EXPECT_EQ(id, 7u);
    EXPECT_CALL(*device, disconnect(3u)).WillOnce(Return(VoidResult{}));
    EXPECT_EQ(PassThruDisconnect(3), STATUS_NOERROR);
    EXPECT_THAT(log.take(), ElementsAre("[j2534] PassThruOpen OK id=7", "[j2534] PassThruDisconnect OK ch=3"));
}

TEST_F(NoDeviceTest, FailedOpenDestroysTheDeviceWithoutClosingAndLeavesTheSlotEmpty) {
    auto owned = device_opening_with(fail(PassThruError::transport(TransportError::io(UsbErrorKind::NoDevice))));
    EXPECT_CALL(*owned, close).Times(0);
    set_device_factory([&] { return std::move(owned); });
    std::uint32_t id = 0xAA;
    EXPECT_EQ(PassThruOpen(nullptr, &id), ERR_DEVICE_NOT_CONNECTED);
    EXPECT_EQ(id, 0xAAu);
    EXPECT_EQ(last_error_text(), "transport error: I/O error: No such device (it may have been disconnected)");
    EXPECT_EQ(PassThruDisconnect(1), ERR_DEVICE_NOT_CONNECTED);
    EXPECT_THAT(log.take(),
                ElementsAre("[j2534] PassThruOpen ERR transport error: I/O error: No such device (it may have been "
                            "disconnected)",
                            "[j2534] PassThruDisconnect ERR ch=1 device not connected"));
}

TEST_F(NoDeviceTest, BuiltInFactoryFindsNoCable) {
    std::uint32_t id = 0;
    EXPECT_EQ(PassThruOpen(nullptr, &id), ERR_DEVICE_NOT_CONNECTED);
    EXPECT_THAT(log.take(), ElementsAre("[j2534] PassThruOpen ERR transport error: I/O error: Tactrix not found "
                                        "(VID=0x0403 PID=0xcc4d)"));
    EXPECT_EQ(last_error_text(), "transport error: I/O error: Tactrix not found (VID=0x0403 PID=0xcc4d)");
}

TEST_F(OpenDeviceTest, SecondOpenIsRefusedWithoutCreatingADeviceOrTouchingLastError) {
    int created = 0;
    set_device_factory([&] {
        ++created;
        return device_opening_with(2u);
    });
    last_error::store("earlier failure");
    std::uint32_t id = 0xAA;
    EXPECT_EQ(PassThruOpen(nullptr, &id), ERR_DEVICE_IN_USE);
    EXPECT_EQ(id, 0xAAu);
    EXPECT_EQ(created, 0);
    EXPECT_EQ(last_error_text(), "earlier failure");
    EXPECT_THAT(log.take(), ElementsAre("[j2534] PassThruOpen ERR device already open"));
}

TEST_F(OpenDeviceTest, CloseWithAnyIdEmptiesTheSlotOnSuccessOnly) {
    EXPECT_CALL(*device, close(1u)).WillOnce(Return(fail(PassThruError::timeout())));
    EXPECT_EQ(PassThruClose(1), ERR_TIMEOUT);
    EXPECT_EQ(last_error_text(), "transport error: operation timed out");

    // Still in the slot after the failure.
    EXPECT_CALL(*device, close(9u)).WillOnce(Return(VoidResult{}));
    EXPECT_EQ(PassThruClose(9), STATUS_NOERROR);
    EXPECT_EQ(PassThruClose(9), ERR_DEVICE_NOT_CONNECTED);
    EXPECT_THAT(log.take(),
                ElementsAre("[j2534] PassThruClose ERR id=1 transport error: operation timed out",
                            "[j2534] PassThruClose OK id=9", "[j2534] PassThruClose ERR id=9 device not connected"));
}

TEST_F(OpenDeviceTest, ConnectPassesItsArgumentsAndLogsFlagsInHex) {
    EXPECT_CALL(*device, connect(1u, ISO15765, 0x800u, 500000u)).WillOnce(Return(6u));
    EXPECT_CALL(*device, connect(1u, 99u, 0u, 10400u)).WillOnce(Return(fail(PassThruError::invalid_protocol_id())));
    std::uint32_t channel = 0;
    EXPECT_EQ(PassThruConnect(1, ISO15765, 0x800, 500000, &channel), STATUS_NOERROR);
    EXPECT_EQ(channel, 6u);
    EXPECT_EQ(PassThruConnect(1, 99, 0, 10400, &channel), ERR_INVALID_PROTOCOL_ID);
    EXPECT_EQ(channel, 6u);
    EXPECT_EQ(last_error_text(), "invalid protocol ID");
    EXPECT_THAT(log.take(),
                ElementsAre("[j2534] PassThruConnect OK proto=6 flags=0x800 baud=500000 ch=6",
                            "[j2534] PassThruConnect ERR proto=99 flags=0x0 baud=10400 invalid protocol ID"));
}

TEST_F(OpenDeviceTest, DisconnectLines) {
    EXPECT_CALL(*device, disconnect(4u)).WillOnce(Return(VoidResult{}));
    EXPECT_CALL(*device, disconnect(5u)).WillOnce(Return(fail(PassThruError::invalid_channel_id())));
    EXPECT_EQ(PassThruDisconnect(4), STATUS_NOERROR);
    EXPECT_EQ(PassThruDisconnect(5), ERR_INVALID_CHANNEL_ID);
    EXPECT_THAT(log.take(), ElementsAre("[j2534] PassThruDisconnect OK ch=4",
                                        "[j2534] PassThruDisconnect ERR ch=5 invalid channel ID"));
}

TEST_F(OpenDeviceTest, ReadVersionCopiesAtMost79BytesOfEachTextAndLogsNothing) {
    EXPECT_CALL(*device, read_version(1u))
        .WillOnce(Return(VersionInfo{std::string(100, 'f'), "0.1.0", "04.04"}))
        .WillOnce(Return(fail(PassThruError::not_supported())));
    std::array<char, 81> firmware, dll, api;
    firmware.fill('#');
    dll.fill('#');
    api.fill('#');
    ASSERT_EQ(PassThruReadVersion(1, firmware.data(), dll.data(), api.data()), STATUS_NOERROR);
    EXPECT_EQ(std::string(firmware.data()), std::string(79, 'f'));
    EXPECT_EQ(firmware[80], '#');
    EXPECT_EQ(std::string(dll.data()), "0.1.0");
    EXPECT_EQ(std::string(api.data()), "04.04");

    char untouched[80] = "before";
    EXPECT_EQ(PassThruReadVersion(1, untouched, untouched, untouched), ERR_NOT_SUPPORTED);
    EXPECT_EQ(std::string(untouched), "before");
    EXPECT_EQ(last_error_text(), "operation not supported");
    EXPECT_THAT(log.take(), IsEmpty());
}

TEST_F(OpenDeviceTest, ProgrammingVoltageHandsOneSilentPinToTheDevice) {
    EXPECT_CALL(*device, set_programming_voltage(1u, PinSelector(std::uint32_t{15}), VOLTAGE_OFF))
        .WillOnce(Return(VoidResult{}))
        .WillOnce(Return(fail(PassThruError::not_supported())));
    EXPECT_EQ(PassThruSetProgrammingVoltage(1, 15, VOLTAGE_OFF), STATUS_NOERROR);
    EXPECT_EQ(PassThruSetProgrammingVoltage(1, 15, VOLTAGE_OFF), ERR_NOT_SUPPORTED);
    EXPECT_EQ(last_error_text(), "operation not supported");
    EXPECT_THAT(log.take(), IsEmpty());
}

}  // namespace
}  // namespace vexo
