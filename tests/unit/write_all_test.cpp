#include "tactrix/write_all.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <numeric>

#include "tests/unit/usb_sim_fixture.h"

namespace vexo::tactrix {
namespace {

using namespace std::chrono_literals;
using ::testing::ElementsAre;

class WriteAll : public UsbSimTest {
protected:
    void SetUp() override {
        UsbSimTest::SetUp();
        link = attach_scripted_cable();
        transport.emplace(open_cable());
    }
    void TearDown() override {
        transport.reset();
        UsbSimTest::TearDown();
    }

    std::shared_ptr<sim::ScriptedLink> link;
    std::optional<UsbTransport> transport;
};

std::vector<std::uint8_t> counting_bytes(std::size_t n) {
    std::vector<std::uint8_t> bytes(n);
    std::iota(bytes.begin(), bytes.end(), std::uint8_t{0});
    return bytes;
}

TEST_F(WriteAll, ShortWritesContinueWithTheRestAndTheFullTimeOut) {
    const auto bytes = counting_bytes(100);
    sim::set_write_limit(64);
    ASSERT_TRUE(write_all(&*transport, bytes, 2s).has_value());
    EXPECT_THAT(sim::calls(), ElementsAre("libusb_bulk_transfer(0x02,100,2000)", "libusb_bulk_transfer(0x02,36,2000)"));
    EXPECT_EQ(link->input(), bytes);
}

TEST_F(WriteAll, ATransferCutShortByTheTimeOutCountsItsBytes) {
    const auto bytes = counting_bytes(30);
    sim::fail_next_transfer(LIBUSB_ERROR_TIMEOUT, 10);
    ASSERT_TRUE(write_all(&*transport, bytes, 100ms).has_value());
    EXPECT_THAT(sim::calls(), ElementsAre("libusb_bulk_transfer(0x02,30,100)", "libusb_bulk_transfer(0x02,20,100)"));
    EXPECT_EQ(sim::written_bytes(), bytes);
}

TEST_F(WriteAll, ZeroAcceptedBytesIsAnIoError) {
    sim::set_write_limit(0);
    auto result = write_all(&*transport, bytes_of("ati\r\n"), 2s);
    ASSERT_FALSE(result.has_value());
    EXPECT_EQ(result.error().message(), "transport error: I/O error: Tactrix bulk write returned 0 bytes");
    EXPECT_EQ(result.error().status(), 0x08u);
    EXPECT_EQ(sim::calls().size(), 1u);
}

TEST_F(WriteAll, TransferFailuresBecomeTransportErrors) {
    sim::fail_next_transfer(LIBUSB_ERROR_NO_DEVICE);
    auto lost = write_all(&*transport, bytes_of("ata\r\n"), 2s);
    ASSERT_FALSE(lost.has_value());
    EXPECT_EQ(lost.error(), PassThruError::transport(TransportError::io(UsbErrorKind::NoDevice)));

    sim::fail_next_transfer(LIBUSB_ERROR_TIMEOUT);
    auto late = write_all(&*transport, bytes_of("ata\r\n"), 2s);
    ASSERT_FALSE(late.has_value());
    EXPECT_EQ(late.error().message(), "transport error: operation timed out");
    EXPECT_EQ(late.error().status(), 0x09u);
}

TEST_F(WriteAll, EmptyBytesSucceedWithoutATransfer) {
    EXPECT_TRUE(write_all(&*transport, {}, 2s).has_value());
    EXPECT_TRUE(sim::calls().empty());
}

TEST_F(WriteAll, WithoutATransportTheDeviceIsNotOpen) {
    auto result = write_all(nullptr, bytes_of("atz\r\n"), 2s);
    ASSERT_FALSE(result.has_value());
    EXPECT_EQ(result.error(), PassThruError::device_not_open());
    EXPECT_TRUE(sim::calls().empty());
}

}  // namespace
}  // namespace vexo::tactrix
