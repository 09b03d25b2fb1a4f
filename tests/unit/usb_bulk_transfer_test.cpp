#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <array>
#include <thread>

#include "core/passthru_error.h"
#include "tests/unit/usb_sim_fixture.h"

namespace vexo::tactrix {
namespace {

using namespace std::chrono_literals;
using ::testing::ElementsAre;

class UsbBulkTransfer : public UsbSimTest {
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

    UsbResult<std::size_t> read(std::chrono::nanoseconds timeout) { return bulk_read(*transport, buffer, timeout); }
    std::string received(std::size_t n) const { return std::string(buffer.begin(), buffer.begin() + n); }

    std::shared_ptr<sim::ScriptedLink> link;
    std::optional<UsbTransport> transport;
    std::array<std::uint8_t, 512> buffer{};
};

TEST_F(UsbBulkTransfer, ReadReturnsWhatTheCableSentOnTheInEndpoint) {
    link->push_output(bytes_of("ariOpenPort 2.0\r\n"));
    auto n = read(2s);
    ASSERT_EQ(n, 17u);
    EXPECT_EQ(received(17), "ariOpenPort 2.0\r\n");
    EXPECT_THAT(sim::calls(), ElementsAre("libusb_bulk_transfer(0x81,512,2000)"));
}

TEST_F(UsbBulkTransfer, ReadWakesWhenBytesArriveDuringTheWait) {
    std::thread late([this] {
        std::this_thread::sleep_for(20ms);
        link->push_output(bytes_of("aro\r\n"));
    });
    auto n = read(10s);
    late.join();
    ASSERT_EQ(n, 5u);
    EXPECT_EQ(received(5), "aro\r\n");
}

TEST_F(UsbBulkTransfer, PartialTransfersCutShortAreSuccesses) {
    link->push_output(bytes_of("abcdefgh"));
    sim::fail_next_transfer(LIBUSB_ERROR_TIMEOUT, 3);
    ASSERT_EQ(read(2s), 3u);
    EXPECT_EQ(received(3), "abc");

    sim::fail_next_transfer(LIBUSB_ERROR_INTERRUPTED, 2);
    ASSERT_EQ(read(2s), 2u);
    EXPECT_EQ(received(2), "de");
}

TEST_F(UsbBulkTransfer, InterruptedWithNothingRepeatsTheSameTransfer) {
    link->push_output(bytes_of("arf7\r\n"));
    sim::fail_next_transfer(LIBUSB_ERROR_INTERRUPTED);
    ASSERT_EQ(read(1500ms), 6u);
    EXPECT_EQ(received(6), "arf7\r\n");
    EXPECT_THAT(sim::calls(),
                ElementsAre("libusb_bulk_transfer(0x81,512,1500)", "libusb_bulk_transfer(0x81,512,1500)"));
}

TEST_F(UsbBulkTransfer, NothingBeforeTheTimeOutIsTimeout) {
    auto n = read(20ms);
    ASSERT_FALSE(n.has_value());
    EXPECT_EQ(n.error(), TransportError::timeout());
    EXPECT_EQ(PassThruError::transport(n.error()).status(), 0x09u);
}

TEST_F(UsbBulkTransfer, OtherFailuresAreIoWithTheirKind) {
    sim::fail_next_transfer(LIBUSB_ERROR_PIPE);
    EXPECT_EQ(read(2s).error(), TransportError::io(UsbErrorKind::Pipe));
    sim::fail_next_transfer(-99);
    EXPECT_EQ(read(2s).error(), TransportError::io(UsbErrorKind::Other));

    sim::unplug(0);
    auto lost = read(2s);
    ASSERT_FALSE(lost.has_value());
    const auto error = PassThruError::transport(lost.error());
    EXPECT_EQ(error.message(), "transport error: I/O error: No such device (it may have been disconnected)");
    EXPECT_EQ(error.status(), 0x08u);
}

TEST_F(UsbBulkTransfer, TimeOutsReachLibusbInWholeMillisecondsNeverZero) {
    const std::pair<std::chrono::nanoseconds, const char*> cases[] = {
        {2s, "2000"}, {2999us, "2"}, {1500us, "1"}, {999us, "1"}, {1ns, "1"}, {std::chrono::hours(2000), "4294967295"},
    };
    for (const auto& [timeout, ms] : cases) {
        sim::clear_calls();
        sim::fail_next_transfer(LIBUSB_ERROR_TIMEOUT);
        (void)read(timeout);
        EXPECT_THAT(sim::calls(), ElementsAre(std::string("libusb_bulk_transfer(0x81,512,") + ms + ")"));
    }
}

TEST_F(UsbBulkTransfer, NoTimeLeftFailsWithoutTouchingTheBus) {
    link->push_output(bytes_of("aro\r\n"));
    EXPECT_EQ(read(0ns).error(), TransportError::timeout());
    EXPECT_EQ(read(-5ms).error(), TransportError::timeout());
    EXPECT_EQ(bulk_write(*transport, bytes_of("atz\r\n"), 0ns).error(), TransportError::timeout());
    EXPECT_TRUE(sim::calls().empty());
    EXPECT_TRUE(link->input().empty());
}

TEST_F(UsbBulkTransfer, WriteReturnsWhatTheOutEndpointAccepted) {
    sim::set_write_limit(4);
    auto n = bulk_write(*transport, bytes_of("atc3\r\n"), 250ms);
    ASSERT_EQ(n, 4u);
    EXPECT_EQ(link->input(), bytes_of("atc3"));
    EXPECT_THAT(sim::calls(), ElementsAre("libusb_bulk_transfer(0x02,6,250)"));
}

TEST_F(UsbBulkTransfer, ReadsAreCutIntoTheCablesChunks) {
    sim::set_read_chunk(4);
    link->push_output(bytes_of("arr16 12450\r\n"));
    ASSERT_EQ(read(2s), 4u);
    EXPECT_EQ(received(4), "arr1");
}

}  // namespace
}  // namespace vexo::tactrix
