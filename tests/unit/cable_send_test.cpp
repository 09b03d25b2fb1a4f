#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <numeric>

#include "tactrix/cable_session.h"
#include "tests/unit/usb_sim_fixture.h"

namespace vexo::tactrix {
namespace {

using namespace std::chrono_literals;
using ::testing::ElementsAre;

class CableSend : public UsbSimTest {
protected:
    void SetUp() override {
        UsbSimTest::SetUp();
        link = attach_scripted_cable();
        ASSERT_TRUE(session.open().has_value());
        sim::clear_calls();
    }
    void TearDown() override {
        session.close();
        UsbSimTest::TearDown();
    }

    std::shared_ptr<sim::ScriptedLink> link;
    CableSession session;
};

std::vector<std::uint8_t> counting_bytes(std::size_t n) {
    std::vector<std::uint8_t> bytes(n);
    std::iota(bytes.begin(), bytes.end(), std::uint8_t{0});
    return bytes;
}

TEST_F(CableSend, ShortWritesContinueWithTheRestAndTheFullTimeOut) {
    const auto bytes = counting_bytes(100);
    sim::set_write_limit(64);
    ASSERT_TRUE(session.send(bytes, 2s).has_value());
    EXPECT_THAT(sim::calls(), ElementsAre("libusb_bulk_transfer(0x02,100,2000)", "libusb_bulk_transfer(0x02,36,2000)"));
    EXPECT_EQ(link->input(), bytes);
}

TEST_F(CableSend, ATransferCutShortByTheTimeOutCountsItsBytes) {
    const auto bytes = counting_bytes(30);
    sim::fail_next_transfer(LIBUSB_ERROR_TIMEOUT, 10);
    ASSERT_TRUE(session.send(bytes, 100ms).has_value());
    EXPECT_THAT(sim::calls(), ElementsAre("libusb_bulk_transfer(0x02,30,100)", "libusb_bulk_transfer(0x02,20,100)"));
    EXPECT_EQ(sim::written_bytes(), bytes);
}

TEST_F(CableSend, ZeroAcceptedBytesIsAnIoError) {
    sim::set_write_limit(0);
    auto result = session.send(bytes_of("ati\r\n"), 2s);
    ASSERT_FALSE(result.has_value());
    EXPECT_EQ(result.error().message(), "transport error: I/O error: Tactrix bulk write returned 0 bytes");
    EXPECT_EQ(result.error().status(), 0x08u);
    EXPECT_EQ(sim::calls().size(), 1u);
}

TEST_F(CableSend, TransferFailuresBecomeTransportErrors) {
    sim::fail_next_transfer(LIBUSB_ERROR_NO_DEVICE);
    auto lost = session.send(bytes_of("ata\r\n"), 2s);
    ASSERT_FALSE(lost.has_value());
    EXPECT_EQ(lost.error(), PassThruError::transport(TransportError::io(UsbErrorKind::NoDevice)));

    sim::fail_next_transfer(LIBUSB_ERROR_TIMEOUT);
    auto late = session.send(bytes_of("ata\r\n"), 2s);
    ASSERT_FALSE(late.has_value());
    EXPECT_EQ(late.error().message(), "transport error: operation timed out");
    EXPECT_EQ(late.error().status(), 0x09u);
}

TEST_F(CableSend, EmptyBytesSucceedWithoutATransfer) {
    EXPECT_TRUE(session.send({}, 2s).has_value());
    EXPECT_TRUE(sim::calls().empty());
}

TEST_F(CableSend, WithoutATransportTheDeviceIsNotOpen) {
    session.close();
    sim::clear_calls();
    auto result = session.send(bytes_of("atz\r\n"), 2s);
    ASSERT_FALSE(result.has_value());
    EXPECT_EQ(result.error(), PassThruError::device_not_open());
    EXPECT_TRUE(sim::calls().empty());
}

}  // namespace
}  // namespace vexo::tactrix
