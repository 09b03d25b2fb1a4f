#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <numeric>

#include "tactrix/frames.h"
#include "tests/unit/tactrix_sim_fixture.h"

namespace vexo::tactrix {
namespace {

using namespace std::chrono_literals;
using namespace std::string_literals;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::IsEmpty;

constexpr std::string_view kFrameLine = "[tactrix] tactrix RX frame: ";
constexpr std::string_view kDesyncLine = "[tactrix] tactrix parser desync: ";

// A session on a cable that sends exactly what the test pushes.
class CableSessionTest : public UsbSimTest {
protected:
    void SetUp() override {
        UsbSimTest::SetUp();
        link = attach_scripted_cable();
        ASSERT_EQ(outcome(session.open()), "ok");
        sim::clear_calls();
    }
    void TearDown() override {
        session.close();
        UsbSimTest::TearDown();
    }

    void push(std::string_view bytes) { link->push_output(bytes_of(bytes)); }
    std::string receive(std::chrono::nanoseconds limit = 2s) {
        auto frame = session.receive(limit);
        return frame ? frame_text(*frame) : outcome(frame);
    }
    std::size_t reads() const {
        std::size_t n = 0;
        for (const auto& call : sim::calls()) n += call.starts_with("libusb_bulk_transfer(0x81,512,");
        return n;
    }
    std::string buffered() const { return text_of(session.buffered()); }

    DriverLines log;
    std::shared_ptr<sim::ScriptedLink> link;
    CableSession session;
};

using ReceiveFrame = CableSessionTest;
using CableSend = CableSessionTest;

TEST_F(ReceiveFrame, AFrameSplitOverTwoReadsIsOneAckWithoutResynchronising) {
    push("aro\r\n");
    sim::fail_next_transfer(LIBUSB_ERROR_TIMEOUT, 2);  // the first read brings only "ar"
    EXPECT_EQ(receive(), "Ack(channel=None)");
    EXPECT_EQ(reads(), 2u);
    EXPECT_THAT(log.take({kFrameLine, kDesyncLine}), ElementsAre("[tactrix] tactrix RX frame: Ack(channel=None)"));
    EXPECT_EQ(session.detail(), "");
    EXPECT_EQ(buffered(), "");
}

TEST_F(ReceiveFrame, ALineWithoutLfBeyondTheCapIsDroppedAsADesync) {
    push("ari" + std::string(5000, 'x') + "ari ok\r\n");
    EXPECT_EQ(receive(), "Identify(\"ok\")");
    // One line for each run of bytes dropped for one reason, across the reads that brought them.
    EXPECT_THAT(log.take(kDesyncLine), ElementsAre("[tactrix] tactrix parser desync: LineTooLong, dropping 1 byte",
                                                   "[tactrix] tactrix parser desync: BadStartMarker, dropping 5002 bytes"));
    EXPECT_EQ(buffered(), "");

    // The longest line taken: 4096 bytes with its LF, read 512 bytes at a time.
    const std::string longest = "ari " + std::string(4090, 'y') + "\r\n";
    ASSERT_EQ(longest.size(), kMaxTextLine);
    push(longest);
    EXPECT_EQ(receive(), "Identify(\"" + std::string(4090, 'y') + "\")");
    EXPECT_THAT(log.take(kDesyncLine), IsEmpty());
}

struct Garbage {
    std::string stream;
    std::vector<std::string> drops;  // desync lines in order, without their prefix
    std::string frame;
    std::string rest;  // still buffered afterwards
};

class ReceiveGarbage : public ReceiveFrame, public ::testing::WithParamInterface<Garbage> {};

TEST_P(ReceiveGarbage, IsDroppedARunAtATimeEachRunLoggedAndNoted) {
    const Garbage& g = GetParam();
    push(g.stream);
    EXPECT_EQ(receive(), g.frame);
    std::vector<std::string> expected;
    for (const auto& drop : g.drops) expected.push_back(std::string(kDesyncLine) + drop);
    expected.push_back(std::string(kFrameLine) + g.frame);
    EXPECT_THAT(log.take({kFrameLine, kDesyncLine}), ElementsAreArray(expected));
    EXPECT_EQ(session.detail(), "Tactrix parser desync: " + g.drops.back().substr(0, g.drops.back().find(',')));
    EXPECT_EQ(buffered(), g.rest);
}

INSTANTIATE_TEST_SUITE_P(Streams, ReceiveGarbage,
                         ::testing::Values(Garbage{"xaro3\r\n",
                                                   {"BadStartMarker, dropping 1 byte"},
                                                   "Ack(channel=Some(3))",
                                                   ""},
                                           Garbage{"arzaxaro\r\narf7\r\n",
                                                   {"UnknownDiscriminator(122), dropping 1 byte",
                                                    "BadStartMarker, dropping 4 bytes"},
                                                   "Ack(channel=None)",
                                                   "arf7\r\n"},
                                           Garbage{"ari\xff\r\naro\r\n",
                                                   {"InvalidUtf8, dropping 1 byte", "BadStartMarker, dropping 5 bytes"},
                                                   "Ack(channel=None)",
                                                   ""},
                                           Garbage{"ar3\0ar3\x02\x00\x55"s,
                                                   {"InvalidLen, dropping 1 byte", "BadStartMarker, dropping 3 bytes"},
                                                   "Data(proto=0x33 kind=Normal ts_us=0 len=1 payload=[55])",
                                                   ""}));

TEST_F(ReceiveFrame, FramesOfOneReadAreReturnedInTurnAndLaterOnesNeedNoRead) {
    push("ar6\x09\x80\x00\x00\x03\xE8\x01\x02\x03\x04"s + "xx" + "arr16 12450\r\n" + "aro");
    EXPECT_EQ(receive(), "Data(proto=0x36 kind=NormalStart ts_us=1000 len=4 payload=[01 02 03 04])");
    EXPECT_EQ(reads(), 1u);
    sim::clear_calls();
    // Complete frames and garbage already buffered are handled even with no time left.
    EXPECT_EQ(receive(0s), "AnalogReading(pin=16 mV=12450)");
    EXPECT_EQ(reads(), 0u);
    EXPECT_THAT(log.take(kDesyncLine), ElementsAre("[tactrix] tactrix parser desync: BadStartMarker, dropping 2 bytes"));
    EXPECT_EQ(receive(0s), "0x09 transport error: operation timed out");
    EXPECT_EQ(reads(), 0u);
    EXPECT_EQ(buffered(), "aro");
}

TEST_F(ReceiveFrame, EveryFrameIsLoggedInItsTextForm) {
    push("ariOpenport \"2.0\"\t \r\n" + "are\r\n"s + "arf12\r\n" + "ary4 7\r\n" +
         "ar5\x09\x41\x00\x00\x00\x05\x00\x00\x07\xE8"s);
    for (int i = 0; i < 5; ++i) ASSERT_TRUE(session.receive(2s));
    EXPECT_THAT(log.take(kFrameLine),
                ElementsAre("[tactrix] tactrix RX frame: Identify(\"Openport \\\"2.0\\\"\")",
                            "[tactrix] tactrix RX frame: Error(\"\")", "[tactrix] tactrix RX frame: FilterAck(id=12)",
                            "[tactrix] tactrix RX frame: FastInitAck(channel=4 len=7)",
                            "[tactrix] tactrix RX frame: Data(proto=0x35 kind=Other(65) ts_us=5 len=4 "
                            "payload=[00 00 07 E8])"));
}

TEST_F(ReceiveFrame, EveryNonEmptyReadIsDumpedAsReceivedWire) {
    if (!log.dumps_hex()) GTEST_SKIP() << "this build's log writes no hex dumps";
    push("aro\r\n");
    sim::fail_next_transfer(LIBUSB_ERROR_TIMEOUT, 2);
    ASSERT_TRUE(session.receive(2s));
    EXPECT_THAT(log.take("[tactrix] tactrix RX wire"), ElementsAre("[tactrix] tactrix RX wire: 2 bytes [61 72]",
                                                                   "[tactrix] tactrix RX wire: 3 bytes [6F 0D 0A]"));
}

TEST_F(ReceiveFrame, ADeadlineThatPassesKeepsThePartialFrameForTheNextCall) {
    push("aro");
    EXPECT_EQ(receive(20ms), "0x09 transport error: operation timed out");
    EXPECT_EQ(buffered(), "aro");
    push("7\r\n");
    EXPECT_EQ(receive(), "Ack(channel=Some(7))");
}

TEST_F(ReceiveFrame, ReadFailuresEndTheCallAndKeepWhatIsBuffered) {
    push("ari");
    sim::fail_next_transfer(LIBUSB_ERROR_TIMEOUT, 3);
    sim::fail_next_transfer(LIBUSB_ERROR_PIPE);
    EXPECT_EQ(receive(), "0x08 transport error: I/O error: Pipe error");
    EXPECT_EQ(buffered(), "ari");

    session.close();
    sim::clear_calls();
    EXPECT_EQ(receive(), "0x08 device not open");
    EXPECT_THAT(sim::calls(), IsEmpty());
}

TEST_F(ReceiveFrame, ReadExactTakesBufferedBytesFirstAndLeavesTheRest) {
    push("ary4 5\r\n\x01\x02"s);
    EXPECT_EQ(receive(), "FastInitAck(channel=4 len=5)");
    EXPECT_EQ(buffered(), "\x01\x02");
    const bool dumps = log.dumps_hex();
    push(
        "\x03\x04\x05"
        "aro\r\n");
    sim::clear_calls();
    auto response = session.read_exact(5);
    ASSERT_EQ(outcome(response), "ok");
    EXPECT_EQ(*response, (std::vector<std::uint8_t>{1, 2, 3, 4, 5}));
    EXPECT_EQ(reads(), 1u);
    EXPECT_EQ(buffered(), "aro\r\n");
    if (dumps) {
        EXPECT_THAT(log.take("[tactrix] tactrix RX wire"), IsEmpty());  // raw bytes are not dumped
    }

    sim::clear_calls();
    EXPECT_EQ(outcome(session.read_exact(5)), "ok");  // all buffered already
    EXPECT_EQ(reads(), 0u);
    EXPECT_EQ(outcome(session.read_exact(0)), "ok");

    push("\x09");
    session.close();
    EXPECT_EQ(outcome(session.read_exact(1)), "0x08 device not open");
}

// --- sending

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
