#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "tests/unit/tactrix_sim_fixture.h"
#include "vexo/j2534.h"

namespace vexo::tactrix {
namespace {

using namespace std::string_literals;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

namespace status = sim::status;

const sim::Bytes kCanId{0x00, 0x00, 0x07, 0xE8};

sim::Bytes with_id(std::initializer_list<std::uint8_t> data) {
    sim::Bytes out = kCanId;
    out.insert(out.end(), data);
    return out;
}

Message message(std::uint32_t protocol, sim::Bytes data, std::uint32_t timestamp = 0) {
    Message m;
    m.extra_data_index = static_cast<std::uint32_t>(data.size());
    m.data = std::move(data);
    m.protocol_id = protocol;
    m.timestamp = timestamp;
    return m;
}

class TactrixMessages : public TactrixSimTest {
protected:
    void SetUp() override {
        TactrixSimTest::SetUp();
        open_device();
        connect(ISO15765);
    }

    std::vector<Message> read(std::uint32_t channel_id, std::uint32_t max, std::uint32_t timeout_ms) {
        auto messages = device->read_msgs(channel_id, max, timeout_ms);
        EXPECT_EQ(outcome(messages), "ok");
        return messages ? *messages : std::vector<Message>{};
    }
    std::size_t usb_reads() const {
        std::size_t n = 0;
        for (const auto& call : sim::calls()) n += call.starts_with("libusb_bulk_transfer(0x81,");
        return n;
    }
};

// --- assembly from the cable's frames

TEST_F(TactrixMessages, AnIso15765MessageInTwoChunksKeepsItsCanIdOnce) {
    cable->inject(concat({frame_of(6, status::normal, with_id({1, 2, 3, 4}), 100),
                          frame_of(6, status::rx_end, with_id({5, 6, 7}), 200)}));
    EXPECT_THAT(read(ISO15765, 1, 500), ElementsAre(message(ISO15765, with_id({1, 2, 3, 4, 5, 6, 7}), 200)));
}

TEST_F(TactrixMessages, AKlineMessageIsItsNormalPayloadsWithoutTimestamp) {
    connect(ISO9141);
    cable->inject(concat({frame_of(3, status::normal_start, {}), frame_of(3, status::normal, {0x48, 0x6B}),
                          frame_of(3, status::normal | 0x0A, {0x10, 0x41}), frame_of(3, status::rx_end, {0xEE})}));
    EXPECT_THAT(read(ISO9141, 1, 500), ElementsAre(message(ISO9141, {0x48, 0x6B, 0x10, 0x41})));
}

TEST_F(TactrixMessages, AnEndWithNothingGatheredEndsTheReadAtOnce) {
    connect(ISO14230);
    const sim::Bytes first = sim::kline_message_frames(4, sim::Bytes{0x83, 0xF1});
    const sim::Bytes second = sim::kline_message_frames(4, sim::Bytes{0x84, 0xF1});
    const sim::Bytes empty_end = frame_of(4, status::rx_end, {});
    cable->inject(concat({empty_end, first, empty_end, second}));
    EXPECT_THAT(read(ISO14230, 3, 3000), IsEmpty());  // no time-out: the cable said the message is over
    EXPECT_THAT(read(ISO14230, 3, 3000), ElementsAre(message(ISO14230, {0x83, 0xF1})));
    EXPECT_THAT(read(ISO14230, 3, 20), ElementsAre(message(ISO14230, {0x84, 0xF1})));
}

TEST_F(TactrixMessages, TransmitReportsAndLoopbacksAreNeverMessages) {
    cable->inject(concat({frame_of(6, status::tx_done, kCanId, 1), frame_of(6, status::tx_loopback, kCanId, 2),
                          frame_of(6, status::loopback_end, kCanId, 3),
                          frame_of(6, status::tx_loopback_start, kCanId, 4), frame_of(6, 0x41, kCanId, 5)}));
    EXPECT_EQ(outcome(device->read_msgs(ISO15765, 1, 30)), "0x09 transport error: operation timed out");
    cable->deliver_can(6, 0x7E8, sim::Bytes{0x41, 0x0D, 0x32}, 77);
    EXPECT_THAT(read(ISO15765, 1, 500), ElementsAre(message(ISO15765, with_id({0x41, 0x0D, 0x32}), 77)));
}

TEST_F(TactrixMessages, AnErrorFrameMidStreamIsNotedAndReadingGoesOn) {
    cable->inject(concat({frame_of(6, status::normal, with_id({1, 2, 3, 4, 5, 6, 7, 8}), 10),
                          sim::error_frame("bus off"), frame_of(6, status::rx_end, with_id({9}), 20)}));
    EXPECT_THAT(read(ISO15765, 1, 500), ElementsAre(message(ISO15765, with_id({1, 2, 3, 4, 5, 6, 7, 8, 9}), 20)));
    EXPECT_EQ(device->last_error_detail(), "Tactrix error mid-stream: bus off");
}

TEST_F(TactrixMessages, ReadStopsAtTheMaximumAndLeavesTheRestQueued) {
    for (std::uint8_t i = 1; i <= 3; ++i) cable->deliver_can(6, 0x7E8, sim::Bytes{i}, i);
    EXPECT_THAT(read(ISO15765, 2, 500),
                ElementsAre(message(ISO15765, with_id({1}), 1), message(ISO15765, with_id({2}), 2)));
    EXPECT_THAT(read(ISO15765, 3, 20), ElementsAre(message(ISO15765, with_id({3}), 3)));
}

TEST_F(TactrixMessages, ReadOutcomesWithoutMessages) {
    EXPECT_THAT(read(ISO15765, 0, 60000), IsEmpty());
    EXPECT_EQ(usb_reads(), 0u);
    EXPECT_EQ(outcome(device->read_msgs(ISO15765, 1, 20)), "0x09 transport error: operation timed out");
    EXPECT_EQ(outcome(device->read_msgs(CAN, 0, 20)), "0x02 invalid channel ID");
    sim::fail_next_transfer(LIBUSB_ERROR_NO_DEVICE);
    EXPECT_EQ(outcome(device->read_msgs(ISO15765, 1, 20)),
              "0x08 transport error: I/O error: No such device (it may have been disconnected)");
}

// --- deliberate behaviour: nothing delivered in fragments, non-waiting reads, huge counts

TEST_F(TactrixMessages, AMessageOpenAtTheDeadlineIsFinishedByTheNextRead) {
    cable->inject(frame_of(6, status::normal, with_id({1, 2, 3, 4}), 100));
    EXPECT_EQ(outcome(device->read_msgs(ISO15765, 1, 30)), "0x09 transport error: operation timed out");
    EXPECT_EQ(channel(ISO15765).partial.data, with_id({1, 2, 3, 4}));
    cable->inject(frame_of(6, status::rx_end, with_id({5, 6, 7}), 200));
    EXPECT_THAT(read(ISO15765, 1, 500), ElementsAre(message(ISO15765, with_id({1, 2, 3, 4, 5, 6, 7}), 200)));
}

TEST_F(TactrixMessages, DisconnectDropsAMessageStillOpen) {
    cable->inject(frame_of(6, status::normal, with_id({1, 2, 3, 4}), 100));
    EXPECT_EQ(outcome(device->read_msgs(ISO15765, 1, 0)), "ok");
    ASSERT_EQ(outcome(device->disconnect(ISO15765)), "ok");
    connect(ISO15765);
    cable->inject(frame_of(6, status::rx_end, with_id({5}), 200));
    EXPECT_THAT(read(ISO15765, 1, 500), ElementsAre(message(ISO15765, with_id({5}), 200)));
}

TEST_F(TactrixMessages, AZeroTimeoutReadTakesWhatIsCompleteAndPollsOnce) {
    EXPECT_THAT(read(ISO15765, 5, 0), IsEmpty());
    EXPECT_THAT(sim::calls(), ElementsAre("libusb_bulk_transfer(0x81,512,1)"));

    cable->deliver_can(6, 0x7E8, sim::Bytes{1}, 1);
    cable->deliver_can(6, 0x7E8, sim::Bytes{2, 3, 4, 5, 6, 7, 8, 9, 10}, 2);  // two chunks
    cable->inject(frame_of(6, status::normal, with_id({11}), 3));             // still open
    sim::clear_calls();
    EXPECT_THAT(read(ISO15765, 5, 0), ElementsAre(message(ISO15765, with_id({1}), 1),
                                                  message(ISO15765, with_id({2, 3, 4, 5, 6, 7, 8, 9, 10}), 2)));
    EXPECT_THAT(sim::calls(), ElementsAre("libusb_bulk_transfer(0x81,512,1)"));
    EXPECT_EQ(channel(ISO15765).partial.data, with_id({11}));
}

TEST_F(TactrixMessages, AZeroTimeoutReadTakesBufferedMessagesBeforeItPolls) {
    for (std::uint8_t i = 1; i <= 3; ++i) cable->deliver_can(6, 0x7E8, sim::Bytes{i}, i);
    ASSERT_EQ(read(ISO15765, 1, 0).size(), 1u);  // its one read buffers the other two
    sim::clear_calls();
    cable->deliver_can(6, 0x7E8, sim::Bytes{4}, 4);
    EXPECT_EQ(read(ISO15765, 2, 0).size(), 2u);
    EXPECT_THAT(sim::calls(), IsEmpty());
    EXPECT_EQ(read(ISO15765, 2, 0).size(), 1u);
    EXPECT_THAT(sim::calls(), ElementsAre("libusb_bulk_transfer(0x81,512,1)"));
}

TEST_F(TactrixMessages, AHugeMaximumReturnsWhatArrived) {
    for (std::uint8_t i = 1; i <= 3; ++i) cable->deliver_can(6, 0x7E8, sim::Bytes{i}, i);
    auto messages = device->read_msgs(ISO15765, 4'000'000'000u, 30);
    ASSERT_EQ(outcome(messages), "ok");
    EXPECT_EQ(messages->size(), 3u);
    EXPECT_LE(messages->capacity(), 64u);
}

// --- transmission

TEST_F(TactrixMessages, WriteSendsOneAttPerMessageWithThePadFlagOnCan) {
    const Message request = message(ISO15765, {0x00, 0x00, 0x07, 0xDF, 0x01, 0x0D});
    Message flagged = request;
    flagged.tx_flags = 0x100;
    const std::vector<Message> msgs{request, flagged};
    auto sent = device->write_msgs(ISO15765, msgs, 150);
    ASSERT_EQ(outcome(sent), "ok");
    EXPECT_EQ(*sent, 2u);
    EXPECT_EQ(written(), "att6 6 64\r\n\0\0\x07\xDF\x01\x0D"s + "att6 6 320\r\n\0\0\x07\xDF\x01\x0D"s);
    EXPECT_THAT(sim::calls(), ElementsAre("libusb_bulk_transfer(0x02,17,150)", "libusb_bulk_transfer(0x02,18,150)"));
}

TEST_F(TactrixMessages, KlineFlagsGoOutUnchanged) {
    connect(ISO14230);
    const std::vector<Message> msgs{message(ISO14230, {0xC1, 0x33, 0xF1, 0x81}), message(ISO14230, {0x01})};
    auto with_flags = msgs;
    with_flags[1].tx_flags = 0x40;
    ASSERT_EQ(outcome(device->write_msgs(ISO14230, with_flags, 100)), "ok");
    EXPECT_EQ(written(),
              "att4 4 0\r\n\xC1\x33\xF1\x81"
              "att4 1 64\r\n\x01"s);
}

TEST_F(TactrixMessages, AZeroTimeoutGivesEachMessageTwoSeconds) {
    const std::vector<Message> msgs{message(ISO15765, {0x00, 0x00, 0x07, 0xDF, 0x3E})};
    ASSERT_EQ(outcome(device->write_msgs(ISO15765, msgs, 0)), "ok");
    ASSERT_EQ(outcome(device->write_msgs_default_timeout(ISO15765, msgs)), "ok");
    EXPECT_THAT(sim::calls(), ElementsAre("libusb_bulk_transfer(0x02,16,2000)", "libusb_bulk_transfer(0x02,16,2000)"));
    EXPECT_EQ(written(), "att6 5 64\r\n\0\0\x07\xDF\x3E"s + "att6 5 64\r\n\0\0\x07\xDF\x3E"s);
}

TEST_F(TactrixMessages, WriteOutcomesWithoutTransmission) {
    EXPECT_EQ(device->write_msgs(ISO15765, {}, 100), 0u);
    const std::vector<Message> msgs{message(CAN, {0, 0, 1, 0, 0x3E})};
    EXPECT_EQ(outcome(device->write_msgs(CAN, msgs, 100)), "0x02 invalid channel ID");
    EXPECT_EQ(written(), "");
    EXPECT_THAT(sim::calls(), IsEmpty());
    EXPECT_EQ(outcome(device->start_periodic_msg(ISO15765, msgs[0], 100)), "0x01 operation not supported");
    EXPECT_EQ(device->last_error_detail(), "periodic messages are not implemented for Tactrix");
    // The second of three fails: the first went out, and the failure says so.
    sim::fail_call(1, LIBUSB_ERROR_PIPE);
    const std::vector<Message> three(3, message(ISO15765, {0x00, 0x00, 0x07, 0xDF, 0x3E}));
    const auto partial = device->write_msgs(ISO15765, three, 100);
    EXPECT_EQ(outcome(partial), "0x08 transport error: I/O error: Pipe error");
    EXPECT_EQ(partial.error().written, 1u);
    sim::unplug(cable_index);
    EXPECT_EQ(outcome(device->write_msgs(ISO15765, msgs, 100)),
              "0x08 transport error: I/O error: No such device (it may have been disconnected)");
    EXPECT_EQ(device->write_msgs(ISO15765, msgs, 100).error().written, 0u);
}

}  // namespace
}  // namespace vexo::tactrix
