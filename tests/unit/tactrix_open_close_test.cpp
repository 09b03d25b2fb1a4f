#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "tests/unit/tactrix_sim_fixture.h"
#include "vexo/version.h"

namespace vexo::tactrix {
namespace {

using namespace std::chrono_literals;
using namespace std::string_literals;
using ::testing::ElementsAre;
using ::testing::IsEmpty;
using ::testing::UnorderedElementsAre;

using TactrixOpen = TactrixSimTest;
using TactrixClose = TactrixSimTest;

std::string firmware_of(TactrixDevice& device) {
    auto version = device.read_version(1);
    return version ? version->firmware : outcome(version);
}

TEST_F(TactrixOpen, IdentifiesThenActivatesAndAlwaysYieldsDeviceOne) {
    auto opened = device->open(0);
    ASSERT_EQ(outcome(opened), "ok");
    EXPECT_EQ(*opened, 1u);
    EXPECT_EQ(written(), "ati\r\nata\r\n");
    EXPECT_EQ(firmware_of(*device), sim::CableFirmware::default_identity);
    auto version = device->read_version(1);
    ASSERT_EQ(outcome(version), "ok");
    EXPECT_EQ(version->firmware, sim::CableFirmware::default_identity);
    EXPECT_EQ(version->library, VEXO_VERSION_TEXT);
    EXPECT_EQ(version->api, "04.04");
    EXPECT_EQ(device->last_error_detail(), "");
}

TEST_F(TactrixOpen, FramesBeforeTheIdentifyReplyDoNotEndTheWait) {
    cable->inject_before_next_reply(
        concat({frame_of(6, sim::status::normal, {0, 0, 7, 0xE8, 1}, 9), sim::ack_frame(3), sim::filter_ack_frame(4)}));
    ASSERT_EQ(outcome(device->open(0)), "ok");
    EXPECT_EQ(firmware_of(*device), sim::CableFirmware::default_identity);
    EXPECT_EQ(written(), "ati\r\nata\r\n");
}

TEST_F(TactrixOpen, AnEmptyIdentityIsKeptAndReportedAsTheFallbackFirmware) {
    cable->set_identity("");
    ASSERT_EQ(outcome(device->open(0)), "ok");
    EXPECT_EQ(firmware_of(*device), "Tactrix Openport 2.0");
}

TEST_F(TactrixOpen, ARejectedIdentifyFailsWithTheCablesTextAndSendsNoActivation) {
    cable->reject('i', "busy");
    EXPECT_EQ(outcome(device->open(0)), "0x07 internal error: Tactrix rejected identify (are busy)");
    EXPECT_EQ(device->last_error_detail(), "Tactrix rejected identify (are busy)");
    EXPECT_EQ(written(), "ati\r\n");
    EXPECT_TRUE(device->cable().is_open());
}

TEST_F(TactrixOpen, ARejectedActivationFailsAsACommand) {
    cable->reject('a', "no");
    EXPECT_EQ(outcome(device->open(0)), "0x07 internal error: Tactrix rejected command (are no)");
    EXPECT_EQ(firmware_of(*device), sim::CableFirmware::default_identity);
}

TEST_F(TactrixOpen, WithoutACableNothingOpensAndTheDetailNamesTheUsbOpen) {
    sim::reset();
    EXPECT_EQ(outcome(device->open(0)), "0x08 transport error: I/O error: Tactrix not found (VID=0x0403 PID=0xcc4d)");
    EXPECT_EQ(device->last_error_detail(), "open USB device: I/O error: Tactrix not found (VID=0x0403 PID=0xcc4d)");
    EXPECT_FALSE(device->cable().is_open());
    EXPECT_EQ(outcome(device->read_version(1)), "0x08 device not open");
}

TEST_F(TactrixOpen, ASilentCableTimesOutAfterTwoSecondsAndDiscardingSendsAtzBeforeRelease) {
    cable->silence('i');
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(outcome(device->open(0)), "0x09 transport error: operation timed out");
    EXPECT_GE(std::chrono::steady_clock::now() - start, 1900ms);  // libusb counts whole milliseconds
    EXPECT_EQ(device->last_error_detail(), "");
    forget_traffic();
    device.reset();
    EXPECT_EQ(written(), "atz\r\n");
    EXPECT_THAT(sim::calls(),
                ElementsAre("libusb_bulk_transfer(0x02,5,2000)", "libusb_release_interface(1)", "libusb_close"));
}

TEST_F(TactrixOpen, OpeningAgainReplacesTheTransportAndKeepsTheChannelsButNotHalfMessages) {
    open_device();
    connect(6);
    cable->inject(frame_of(6, sim::status::normal, {0, 0, 7, 0xE8, 1, 2, 3, 4}, 1));
    ASSERT_EQ(outcome(device->read_msgs(6, 1, 0)), "ok");
    ASSERT_FALSE(channel(6).partial.data.empty());
    ASSERT_EQ(outcome(device->open(0)), "ok");
    EXPECT_EQ(written(), "ati\r\nata\r\n");
    EXPECT_EQ(sim::live_handles(), 1u);
    ASSERT_NE(device->channel(6), nullptr);
    EXPECT_TRUE(channel(6).partial.data.empty());

    sim::reset();  // the cable is gone: the old transport is released all the same
    EXPECT_EQ(outcome(device->open(0)), "0x08 transport error: I/O error: Tactrix not found (VID=0x0403 PID=0xcc4d)");
    EXPECT_FALSE(device->cable().is_open());
    EXPECT_EQ(sim::live_handles(), 0u);
}

TEST_F(TactrixOpen, PresenceCountsAttachedCablesAndDescribesThem) {
    EXPECT_EQ(device->is_present(), 1u);
    sim::attach_cables(1);
    EXPECT_EQ(device->is_present(), 2u);
    const auto info = device->describe();
    ASSERT_TRUE(info.has_value());
    EXPECT_EQ(*info, (DeviceInfo{"Tactrix Openport 2.0", 1, 0, 2, 12000000, 0xFFFFFFFF, 0xFFFFFFFF}));
    sim::reset();
    EXPECT_EQ(device->is_present(), 0u);
    EXPECT_FALSE(device->describe().has_value());
}

TEST_F(TactrixClose, ClosesEveryChannelThenTheDeviceAndASecondCloseWritesNothing) {
    open_device();
    for (std::uint32_t protocol : {3u, 5u, 6u}) connect(protocol);
    ASSERT_EQ(outcome(device->close(1)), "ok");
    const auto commands = cable->commands();
    ASSERT_EQ(commands.size(), 4u);
    EXPECT_THAT((std::vector{commands[0].line, commands[1].line, commands[2].line}),
                UnorderedElementsAre("atc3\r\n", "atc5\r\n", "atc6\r\n"));
    EXPECT_EQ(commands[3].line, "atz\r\n");
    EXPECT_EQ(device->channel_count(), 0u);
    EXPECT_FALSE(device->cable().is_open());
    EXPECT_EQ(sim::live_handles(), 0u);

    forget_traffic();
    EXPECT_EQ(outcome(device->close(1)), "ok");
    device.reset();
    EXPECT_EQ(written(), "");
    EXPECT_THAT(sim::calls(), IsEmpty());
}

TEST_F(TactrixClose, SucceedsWhenTheCableIsGone) {
    open_device();
    connect(6);
    cable->inject("ar");
    ASSERT_EQ(outcome(device->read_msgs(6, 1, 0)), "ok");
    ASSERT_EQ(text_of(device->cable().buffered()), "ar");
    sim::unplug(cable_index);
    EXPECT_EQ(outcome(device->close(1)), "ok");
    EXPECT_EQ(device->channel_count(), 0u);
    EXPECT_TRUE(device->cable().buffered().empty());
    EXPECT_EQ(sim::live_handles(), 0u);
    EXPECT_EQ(outcome(device->read_version(1)), "0x08 device not open");
}

}  // namespace
}  // namespace vexo::tactrix
