#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "tests/unit/tactrix_sim_fixture.h"
#include "vexo/j2534.h"

namespace vexo::tactrix {
namespace {

using namespace std::string_literals;
using ::testing::ElementsAre;
using ::testing::Pair;
using ::testing::UnorderedElementsAre;

class TactrixIoctl : public TactrixSimTest {
protected:
    void SetUp() override {
        TactrixSimTest::SetUp();
        open_device();
        connect(ISO14230, 10400);
    }

    Result<IoctlOutput> set_config(std::uint32_t channel_id, ConfigList pairs) {
        const IoctlInput input = std::move(pairs);
        return device->ioctl(channel_id, SET_CONFIG, &input);
    }
    Result<IoctlOutput> fast_init(std::optional<IoctlInput> input = std::nullopt) {
        return device->ioctl(ISO14230, FAST_INIT, input ? &*input : nullptr);
    }
    static Bytes bytes_of_output(const Result<IoctlOutput>& out) {
        EXPECT_EQ(outcome(out), "ok");
        const auto* bytes = out ? std::get_if<Bytes>(&*out) : nullptr;
        return bytes ? *bytes : Bytes{0xBA, 0xD0};
    }
};

// --- SET_CONFIG

TEST_F(TactrixIoctl, SetConfigForwardsEachPairAndStoresThemAll) {
    auto set = set_config(ISO14230, {{DATA_RATE, 10400}, {LOOPBACK, 1}, {DATA_RATE, 9600}});
    ASSERT_EQ(outcome(set), "ok");
    EXPECT_EQ(*set, IoctlOutput(IoctlNothing{}));
    EXPECT_EQ(written(), "ats4 1 10400\r\nats4 3 1\r\nats4 1 9600\r\n");
    EXPECT_THAT(channel(ISO14230).config_params, UnorderedElementsAre(Pair(1u, 9600u), Pair(3u, 1u)));

    forget_traffic();
    EXPECT_EQ(outcome(set_config(ISO14230, {})), "ok");
    EXPECT_EQ(written(), "");
}

TEST_F(TactrixIoctl, SetConfigStoresWhatTheCableRefusesAndNotesTheLastRefusal) {
    cable->reject('s', "bad value", 1);
    EXPECT_EQ(outcome(set_config(ISO14230, {{DATA_RATE, 10400}, {P1_MAX, 20}})), "ok");
    EXPECT_EQ(device->last_error_detail(),
              "ats ack for param=0x1 value=10400: internal error: Tactrix rejected command (are bad value)");
    EXPECT_THAT(channel(ISO14230).config_params, UnorderedElementsAre(Pair(1u, 10400u), Pair(7u, 20u)));
}

TEST_F(TactrixIoctl, SetConfigFailsWhenTheCableCannotBeWrittenAfterStoringThePairs) {
    sim::unplug(cable_index);
    EXPECT_EQ(outcome(set_config(ISO14230, {{DATA_RATE, 10400}, {0x20, 5}})),
              "0x08 transport error: I/O error: No such device (it may have been disconnected)");
    EXPECT_EQ(device->last_error_detail(),
              "ats forward for param=0x20 value=5 failed: transport error: I/O error: No such device (it may have been "
              "disconnected)");
    EXPECT_THAT(channel(ISO14230).config_params, UnorderedElementsAre(Pair(1u, 10400u), Pair(0x20u, 5u)));

    device->cable().close();
    EXPECT_EQ(outcome(set_config(ISO14230, {{DATA_RATE, 9600}})), "0x08 device not open");
    EXPECT_EQ(device->last_error_detail(), "ats forward for param=0x1 value=9600 failed: device not open");
    EXPECT_EQ(channel(ISO14230).config_params.at(1), 9600u);
}

TEST_F(TactrixIoctl, SetConfigFailsWhenTheAcknowledgementCannotBeRead) {
    const std::pair<int, std::string> cases[] = {
        {LIBUSB_ERROR_NO_DEVICE, "No such device (it may have been disconnected)"},
        {LIBUSB_ERROR_IO, "Input/Output Error"},
        {LIBUSB_ERROR_PIPE, "Pipe error"},
        {LIBUSB_ERROR_OVERFLOW, "Overflow"},
    };
    for (const auto& [code, text] : cases) {
        SCOPED_TRACE(text);
        sim::fail_next_transfer(LIBUSB_ERROR_TIMEOUT, 100);  // the whole "ats" line goes out
        sim::fail_next_transfer(code);                        // the read of its answer fails
        EXPECT_EQ(outcome(set_config(ISO14230, {{DATA_RATE, 10400}})), "0x08 transport error: I/O error: " + text);
        EXPECT_EQ(device->last_error_detail(), "ats ack for param=0x1 value=10400: transport error: I/O error: " + text);
        EXPECT_EQ(channel(ISO14230).config_params.at(DATA_RATE), 10400u);
        // The answer the failed read missed must not pass for the next command's.
        (void)device->cable().receive(std::chrono::milliseconds(100));
    }
}

TEST_F(TactrixIoctl, SetConfigWithoutAListOrChannelIsRefusedUnsent) {
    const IoctlInput bytes = Bytes{1};
    EXPECT_EQ(outcome(device->ioctl(ISO14230, SET_CONFIG, nullptr)), "0x04 null parameter");
    EXPECT_EQ(outcome(device->ioctl(ISO14230, SET_CONFIG, &bytes)), "0x04 null parameter");
    EXPECT_EQ(outcome(set_config(ISO9141, {{DATA_RATE, 10400}})), "0x02 invalid channel ID");
    EXPECT_EQ(outcome(device->ioctl(ISO9141, FAST_INIT, nullptr)), "0x02 invalid channel ID");
    EXPECT_EQ(written(), "");
    EXPECT_EQ(device->last_error_detail(), "");
}

// --- READ_VBATT and FIVE_BAUD_INIT

TEST_F(TactrixIoctl, ReadVbattReturnsThePin16MillivoltsOnAnyChannelId) {
    cable->replace_reply('r', "arr5 1\r\narr16 12345\r\n");
    auto vbatt = device->ioctl(77, READ_VBATT, nullptr);
    ASSERT_EQ(outcome(vbatt), "ok");
    EXPECT_EQ(*vbatt, IoctlOutput(std::uint32_t{12345}));
    EXPECT_EQ(written(), "atr 16\r\n");
}

TEST_F(TactrixIoctl, RefusalsOfTheIoctlsNoteTheirExchange) {
    cable->reject('r', "adc");
    EXPECT_EQ(outcome(device->ioctl(ISO14230, READ_VBATT, nullptr)),
              "0x07 internal error: Tactrix rejected atr (are adc)");
    EXPECT_EQ(device->last_error_detail(), "Tactrix rejected atr (are adc)");
    cable->reject('y', "no ecu");
    EXPECT_EQ(outcome(fast_init()), "0x07 internal error: Tactrix rejected fast init (are no ecu)");
    EXPECT_EQ(device->last_error_detail(), "Tactrix rejected fast init (are no ecu)");
    forget_traffic();
    EXPECT_EQ(outcome(device->ioctl(ISO14230, FIVE_BAUD_INIT, nullptr)), "0x01 operation not supported");
    EXPECT_EQ(device->last_error_detail(), "FIVE_BAUD_INIT is not implemented for Tactrix");
    EXPECT_EQ(written(), "");
}

// --- FAST_INIT

TEST_F(TactrixIoctl, FastInitReappliesTheStoredParametersBeforeAty) {
    ASSERT_EQ(outcome(set_config(ISO14230, {{DATA_RATE, 10400}, {P1_MAX, 20}})), "ok");
    forget_traffic();
    const Bytes response = bytes_of_output(fast_init());
    EXPECT_EQ(response, Bytes(sim::CableFirmware::default_fast_init_response.begin(),
                              sim::CableFirmware::default_fast_init_response.end()));
    const auto commands = cable->commands();
    ASSERT_EQ(commands.size(), 3u);
    EXPECT_THAT((std::vector{commands[0].line, commands[1].line}),
                UnorderedElementsAre("ats4 1 10400\r\n", "ats4 7 20\r\n"));
    EXPECT_EQ(commands[2].line, "aty4 0 0\r\n");
    EXPECT_TRUE(commands[2].payload.empty());
}

TEST_F(TactrixIoctl, FastInitSendsTheRequestAfterItsLine) {
    const IoctlInput request = Bytes{0xC1, 0x33, 0xF1, 0x81, 0x66};
    ASSERT_EQ(outcome(fast_init(request)), "ok");
    EXPECT_EQ(written(), "aty4 5 0\r\n\xC1\x33\xF1\x81\x66"s);

    forget_traffic();
    EXPECT_EQ(outcome(fast_init(IoctlInput{ConfigList{}})), "0x04 null parameter");
    EXPECT_EQ(written(), "");
}

TEST_F(TactrixIoctl, FastInitReadsTheRawResponseAcrossReadsAndLeavesWhatFollows) {
    cable->replace_reply('y',
                         "ary4 6\r\n\x10\x20\x30\x40\x50\x60"
                         "aro\r\n"s);
    sim::set_read_chunk(10);  // the line and two response bytes, then the rest
    EXPECT_EQ(bytes_of_output(fast_init()), (Bytes{0x10, 0x20, 0x30, 0x40, 0x50, 0x60}));
    EXPECT_EQ(text_of(device->cable().buffered()), "aro\r\n");
    EXPECT_THAT(log.take("[tactrix] tactrix RX frame"),
                ElementsAre("[tactrix] tactrix RX frame: FastInitAck(channel=4 len=6)"));
}

TEST_F(TactrixIoctl, FastInitWithAnEmptyResponseReadsNothingMore) {
    cable->replace_reply('y', "ary4 0\r\n");
    EXPECT_EQ(bytes_of_output(fast_init()), Bytes{});
    EXPECT_THAT(sim::calls(), ElementsAre("libusb_bulk_transfer(0x02,10,2000)",
                                          ::testing::StartsWith("libusb_bulk_transfer(0x81,512,")));
}

TEST_F(TactrixIoctl, FastInitGoesOnWhenAReappliedParameterCannotBeWritten) {
    ASSERT_EQ(outcome(set_config(ISO14230, {{DATA_RATE, 10400}})), "ok");
    sim::fail_next_transfer(LIBUSB_ERROR_PIPE);
    EXPECT_EQ(bytes_of_output(fast_init()).size(), 7u);
    EXPECT_EQ(device->last_error_detail(),
              "ats re-apply for param=0x1 value=10400 failed: transport error: I/O error: Pipe error");
}

// --- data that arrives while a command waits is kept for read_msgs

TEST_F(TactrixIoctl, VehicleDataDuringCommandRepliesIsReadAfterwardsInOrder) {
    connect(ISO15765);
    cable->deliver_can(6, 0x7E8, Bytes{1}, 1);
    cable->inject_before_next_reply(sim::can_message_frames(6, 0x7E8, Bytes{2}, 2));
    ASSERT_EQ(outcome(set_config(ISO15765, {{LOOPBACK, 0}})), "ok");
    cable->deliver_can(6, 0x7E8, Bytes{3, 3, 3, 3, 3, 3, 3, 3, 3}, 3);  // two chunks
    cable->replace_reply('r', "arr16 12000\r\n"s + text_of(sim::can_message_frames(6, 0x7E8, Bytes{4}, 4)), 1);
    ASSERT_EQ(outcome(device->ioctl(0, READ_VBATT, nullptr)), "ok");
    EXPECT_EQ(device->cable().pending_count(), 4u);

    auto messages = device->read_msgs(ISO15765, 10, 30);
    ASSERT_EQ(outcome(messages), "ok");
    std::vector<std::uint32_t> stamps;
    for (const Message& m : *messages) stamps.push_back(m.timestamp);
    EXPECT_THAT(stamps, ElementsAre(1u, 2u, 3u, 4u));
    EXPECT_EQ(messages->at(2).data.size(), 13u);
    EXPECT_EQ(device->cable().pending_count(), 0u);
}

TEST_F(TactrixIoctl, AFullQueueDropsTheOldestFrameAndSaysSo) {
    connect(ISO15765);
    for (std::uint32_t i = 0; i <= kPendingDataLimit; ++i) {
        const auto n = static_cast<std::uint8_t>(i);
        device->cable().keep_pending(
            RxFrame::Data{{0, 0, 7, 0xE8, n, static_cast<std::uint8_t>(i >> 8)}, i, DataKind::RxEnd, '6'});
    }
    EXPECT_EQ(device->cable().pending_count(), kPendingDataLimit);
    EXPECT_EQ(device->last_error_detail(),
              "receive queue full: dropped 1 data frames that arrived during command replies");
    auto first = device->read_msgs(ISO15765, 1, 0);
    ASSERT_EQ(outcome(first), "ok");
    EXPECT_THAT(*first, ElementsAre(::testing::Field(&Message::timestamp, 1u)));
}

}  // namespace
}  // namespace vexo::tactrix
