#include "sim/cable_firmware.h"

#include <gtest/gtest.h>

#include <thread>

namespace vexo::sim {
namespace {

using Clock = std::chrono::steady_clock;

void send(CableFirmware& cable, std::string_view text, const Bytes& payload = {}) {
    Bytes bytes = to_bytes(text);
    append(bytes, payload);
    cable.host_wrote(bytes);
}

// Everything pending; never waits, since the deadline has already passed.
std::string drain(CableFirmware& cable) {
    std::string out;
    std::uint8_t buffer[512];
    while (const std::size_t n = cable.host_read(buffer, Clock::now()))
        out.append(reinterpret_cast<const char*>(buffer), n);
    return out;
}

TEST(CableFirmwareTest, AnswersEachCommand) {
    CableFirmware cable;
    send(cable, "ati\r\n");
    EXPECT_EQ(drain(cable), "ariOpenport 2.0 sim 1.17.4877\r\n");
    send(cable, "ata\r\n");
    EXPECT_EQ(drain(cable), "aro\r\n");
    send(cable, "ato6 0 500000 0\r\n");
    EXPECT_EQ(drain(cable), "aro6\r\n");
    send(cable, "ats6 1 500000\r\n");
    EXPECT_EQ(drain(cable), "aro6\r\n");
    send(cable, "atr 16\r\n");
    EXPECT_EQ(drain(cable), "arr16 12600\r\n");
    send(cable, "atr 5\r\n");
    EXPECT_EQ(drain(cable), "arr5 0\r\n");
    send(cable, "atf6 1 64 4\r\n", Bytes{0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0x00, 0x07, 0xE8});
    EXPECT_EQ(drain(cable), "arf1\r\n");
    send(cable, "atf6 3 64 4\r\n", Bytes(12, 0x01));
    EXPECT_EQ(drain(cable), "arf2\r\n");

    send(cable, "att6 5 64\r\n", Bytes{0x00, 0x00, 0x07, 0xDF, 0x3E});
    const std::string done = drain(cable);
    ASSERT_EQ(done.size(), 13u);  // TxDone: time stamp then the CAN ID
    EXPECT_EQ(done.substr(0, 5), std::string("ar6\x09\x10", 5));
    EXPECT_EQ(done.substr(9), std::string("\x00\x00\x07\xDF", 4));

    const auto channel = cable.channel(6);
    ASSERT_TRUE(channel);
    EXPECT_EQ(channel->baud, 500000u);
    EXPECT_EQ(channel->config.at(1), 500000u);
    ASSERT_EQ(channel->filters.size(), 2u);
    EXPECT_EQ(channel->filters[1].flow_control, Bytes(4, 0x01));

    send(cable, "atc6\r\n");
    EXPECT_EQ(drain(cable), "aro6\r\n");
    EXPECT_FALSE(cable.is_open(6));
}

TEST(CableFirmwareTest, KlineTransmitFastInitAndClose) {
    CableFirmware cable;
    send(cable, "ato4 0 10400 0\r\nato3 0 10400 0\r\n");
    EXPECT_EQ(drain(cable), "aro4\r\naro3\r\n");
    send(cable, "att4 3 0\r\n", Bytes{0xC1, 0x33, 0xF1});
    EXPECT_EQ(drain(cable), std::string("ar4\x01\x10", 5));

    send(cable, "aty4 5 0\r\n", Bytes{0x81, 0x10, 0xF1, 0x81, 0x03});
    EXPECT_EQ(drain(cable), "ary4 7\r\n\x83\xF1\x10\xC1\xEF\x8F\xC3");
    cable.set_fast_init_response({});
    send(cable, "aty4 0 0\r\n");
    EXPECT_EQ(drain(cable), "ary4 0\r\n");

    send(cable, "atz\r\n");
    EXPECT_EQ(drain(cable), "");
    EXPECT_FALSE(cable.is_open(3));
    EXPECT_FALSE(cable.is_open(4));
}

TEST(CableFirmwareTest, RejectsWhatTheCableWouldNot) {
    CableFirmware cable;
    // The payload of a refused command is still taken off the stream.
    send(cable, "att5 4 64\r\n", to_bytes("ata\r"));
    send(cable, "ata\r\n");
    EXPECT_EQ(drain(cable), "arechannel not open\r\naro\r\n");
    for (const char* line : {"atc5\r\n", "ats5 1 2\r\n", "aty4 0 0\r\n"}) {
        send(cable, line);
        EXPECT_EQ(drain(cable), "arechannel not open\r\n") << line;
    }
    send(cable, "atf3 1 0 1\r\n", Bytes{0, 0});
    EXPECT_EQ(drain(cable), "arechannel not open\r\n");

    send(cable, "atq\r\n");
    EXPECT_EQ(drain(cable), "areunknown command\r\n");
    send(cable, "ato6 0\r\n");
    EXPECT_EQ(drain(cable), "aremalformed command\r\n");
    send(cable, "ato7 0 500000 0\r\n");
    EXPECT_EQ(drain(cable), "areinvalid channel\r\n");
    send(cable, std::string(70, 'a') + "\r\nata\r\n");
    EXPECT_EQ(drain(cable), "areline too long\r\naro\r\n");

    send(cable, "ato5 0 500000 0\r\nato6 0 500000 0\r\n");
    drain(cable);
    send(cable, "atf5 4 64 1\r\n", Bytes{0, 0});
    EXPECT_EQ(drain(cable), "areinvalid filter\r\n");
    send(cable, "atf5 1 64 13\r\n", Bytes(26, 0));
    EXPECT_EQ(drain(cable), "areinvalid filter\r\n");
    send(cable, "att5 13 64\r\n", Bytes(13, 0));
    EXPECT_EQ(drain(cable), "areinvalid message length\r\n");
    send(cable, "aty6 0 0\r\n");
    EXPECT_EQ(drain(cable), "areinvalid channel\r\n");
    // A refused filter uses up no ID.
    send(cable, "atf5 1 64 1\r\n", Bytes{0, 0});
    EXPECT_EQ(drain(cable), "arf1\r\n");
}

TEST(CableFirmwareTest, SameAnswersWhateverTheChunking) {
    Bytes session = to_bytes("ati\r\nata\r\nato3 0 10400 0\r\natf3 1 0 1\r\n");
    append(session, Bytes{0x00, 0x00});
    append(session, to_bytes("aty3 2 0\r\n"));
    append(session, Bytes{0x0D, 0x0A});
    append(session, to_bytes("atr 16\r\natc3\r\n"));
    const std::string expected =
        "ariOpenport 2.0 sim 1.17.4877\r\naro\r\naro3\r\narf1\r\nary3 7\r\n\x83\xF1\x10\xC1\xEF\x8F\xC3"
        "arr16 12600\r\naro3\r\n";
    for (std::size_t cut = 0; cut <= session.size(); ++cut) {
        CableFirmware cable;
        cable.host_wrote(std::span(session).first(cut));
        cable.host_wrote(std::span(session).subspan(cut));
        EXPECT_EQ(drain(cable), expected) << "cut at " << cut;
    }
    CableFirmware cable;
    for (const std::uint8_t byte : session) cable.host_wrote(std::span(&byte, 1));
    EXPECT_EQ(drain(cable), expected);
}

TEST(CableFirmwareTest, RecordsCommandsWithPayloads) {
    CableFirmware cable;
    send(cable, "ato6 0 500000 0\r\n");
    send(cable, "att6 4 64\r\n", Bytes{0x00, 0x00, 0x07, 0xDF});
    send(cable, "atq\r\n");
    EXPECT_EQ(cable.commands(), (std::vector<ReceivedCommand>{{"ato6 0 500000 0\r\n", {}, false},
                                                              {"att6 4 64\r\n", {0x00, 0x00, 0x07, 0xDF}, false},
                                                              {"atq\r\n", {}, false}}));
    cable.clear_commands();
    EXPECT_TRUE(cable.commands().empty());
}

TEST(CableFirmwareTest, ScriptedReplies) {
    CableFirmware cable;
    cable.silence('o', 1);
    send(cable, "ato6 0 500000 0\r\n");
    EXPECT_EQ(drain(cable), "");
    EXPECT_TRUE(cable.is_open(6));  // a silenced command still takes effect

    cable.reject('f', "filter table full", 1);
    send(cable, "atf6 1 64 1\r\n", Bytes{0, 0});
    EXPECT_EQ(drain(cable), "arefilter table full\r\n");
    EXPECT_TRUE(cable.channel(6)->filters.empty());  // a rejected one does not
    send(cable, "atf6 1 64 1\r\n", Bytes{0, 0});
    EXPECT_EQ(drain(cable), "arf1\r\n");

    cable.replace_reply('i', "ariOther\r\n");
    send(cable, "ati\r\nati\r\n");
    EXPECT_EQ(drain(cable), "ariOther\r\nariOther\r\n");
    cable.clear_script('i');
    send(cable, "ati\r\n");
    EXPECT_EQ(drain(cable), "ariOpenport 2.0 sim 1.17.4877\r\n");

    // Queued scripts apply in turn.
    cable.reject('c', "busy", 1);
    cable.silence('c', 1);
    send(cable, "atc6\r\n");
    EXPECT_EQ(drain(cable), "arebusy\r\n");
    EXPECT_TRUE(cable.is_open(6));
    send(cable, "atc6\r\n");
    EXPECT_EQ(drain(cable), "");
    EXPECT_FALSE(cable.is_open(6));

    cable.set_identity("Custom 9");
    cable.set_battery_millivolts(11800);
    send(cable, "ati\r\natr 16\r\n");
    EXPECT_EQ(drain(cable), "ariCustom 9\r\narr16 11800\r\n");
}

TEST(CableFirmwareTest, InjectedBytes) {
    CableFirmware cable;
    cable.inject("x");
    EXPECT_EQ(drain(cable), "x");
    cable.inject_before_next_reply("arz\x01");
    EXPECT_EQ(drain(cable), "");
    send(cable, "ata\r\nata\r\n");
    EXPECT_EQ(drain(cable),
              "arz\x01"
              "aro\r\naro\r\n");
}

TEST(CableFirmwareTest, HostReadHonoursItsDeadline) {
    CableFirmware cable;
    std::uint8_t buffer[4];
    const auto deadline = Clock::now() + std::chrono::milliseconds(20);
    EXPECT_EQ(cable.host_read(buffer, deadline), 0u);
    EXPECT_GE(Clock::now(), deadline);

    send(cable, "ata\r\n");
    EXPECT_EQ(cable.host_read(buffer, Clock::now() - std::chrono::seconds(1)), 4u);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer), 4), "aro\r");
    EXPECT_EQ(drain(cable), "\n");
}

TEST(CableFirmwareTest, WaitingReaderWakesWhenAnswerArrives) {
    CableFirmware cable;
    std::string got;
    std::thread reader([&] {
        std::uint8_t buffer[64];
        const std::size_t n = cable.host_read(buffer, Clock::now() + std::chrono::seconds(30));
        got.assign(reinterpret_cast<char*>(buffer), n);
    });
    send(cable, "ata\r\n");
    reader.join();
    EXPECT_EQ(got, "aro\r\n");
}

struct RecordingVehicle : VehicleSide {
    CableFirmware* cable = nullptr;
    std::vector<std::string> events;
    std::vector<Transmission> sent;
    std::vector<CableFilter> filters;

    void on_channel_opened(std::uint8_t ch, std::uint32_t flags, std::uint32_t baud) override {
        events.push_back("open " + std::to_string(ch) + " " + std::to_string(flags) + " " + std::to_string(baud));
    }
    void on_channel_closed(std::uint8_t ch) override { events.push_back("close " + std::to_string(ch)); }
    void on_config(std::uint8_t ch, std::uint32_t parameter, std::uint32_t value) override {
        events.push_back("config " + std::to_string(ch) + " " + std::to_string(parameter) + "=" +
                         std::to_string(value));
    }
    void on_filter(std::uint8_t, const CableFilter& filter) override { filters.push_back(filter); }
    void on_transmit(const Transmission& message) override {
        sent.push_back(message);
        if (message.channel == 6) cable->deliver_can(6, 0x7E8, Bytes{0x02, 0x41, 0x00}, 1000);
    }
    std::optional<Bytes> on_fast_init(std::uint8_t, std::span<const std::uint8_t> request) override {
        return Bytes(request.rbegin(), request.rend());
    }
};

TEST(CableFirmwareTest, VehicleSeesWhatTheHostDoesAndAnswers) {
    CableFirmware cable;
    auto vehicle = std::make_shared<RecordingVehicle>();
    vehicle->cable = &cable;
    cable.set_vehicle(vehicle);

    send(cable, "ato6 0 500000 0\r\nato4 0 10400 0\r\nats4 1 10400\r\n");
    send(cable, "atf6 3 64 4\r\n", Bytes{0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0x07, 0xE8, 0, 0, 0x07, 0xE0});
    ASSERT_EQ(vehicle->filters.size(), 1u);
    EXPECT_EQ(vehicle->filters[0],
              (CableFilter{1, 3, 64, {0xFF, 0xFF, 0xFF, 0xFF}, {0, 0, 0x07, 0xE8}, {0, 0, 0x07, 0xE0}}));
    drain(cable);

    // The ECU's answer follows the cable's TxDone.
    send(cable, "att6 7 64\r\n", Bytes{0, 0, 0x07, 0xE0, 0x02, 0x01, 0x00});
    const std::string out = drain(cable);
    ASSERT_EQ(out.size(), 13u + 16u);
    EXPECT_EQ(out.substr(3, 2), "\x09\x10");
    EXPECT_EQ(out.substr(13), std::string("ar6\x0C\x40\x00\x00\x03\xE8\x00\x00\x07\xE8\x02\x41\x00", 16));
    ASSERT_EQ(vehicle->sent.size(), 1u);
    EXPECT_EQ(vehicle->sent[0], (Transmission{6, 64, {0, 0, 0x07, 0xE0, 0x02, 0x01, 0x00}}));

    send(cable, "aty4 2 0\r\n", Bytes{0x01, 0x02});
    EXPECT_EQ(drain(cable), "ary4 2\r\n\x02\x01");

    send(cable, "atz\r\n");
    EXPECT_EQ(vehicle->events, (std::vector<std::string>{"open 6 0 500000", "open 4 0 10400", "config 4 1=10400",
                                                         "close 4", "close 6"}));
}

TEST(CableFirmwareTest, DeliveriesFollowChannelStateFiltersAndRoom) {
    CableFirmware cable;
    EXPECT_EQ(cable.deliver_can(6, 0x7E8, Bytes{0x01}), Delivery::ChannelNotOpen);
    EXPECT_EQ(cable.deliver_kline(6, Bytes{0x01}), Delivery::WrongChannel);
    EXPECT_EQ(cable.deliver_can(3, 0x7E8, Bytes{0x01}), Delivery::WrongChannel);
    EXPECT_EQ(cable.pending_output(), 0u);

    send(cable, "ato3 0 10400 0\r\nato5 0 500000 0\r\n");
    drain(cable);
    EXPECT_EQ(cable.deliver_kline(3, Bytes{0x48, 0x6B}), Delivery::Delivered);
    EXPECT_EQ(drain(cable), std::string("ar3\x01\x80"
                                        "ar3\x03\x00\x48\x6B"
                                        "ar3\x01\x40",
                                        17));

    cable.set_filtering(true);
    EXPECT_EQ(cable.deliver_can(5, 0x7E8, Bytes{0x01}, 1), Delivery::Filtered);
    send(cable, "atf5 1 64 4\r\n", Bytes{0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0x07, 0xE8});
    drain(cable);
    EXPECT_EQ(cable.deliver_can(5, 0x7E8, Bytes{0x01}, 1), Delivery::Delivered);
    EXPECT_EQ(cable.deliver_can(5, 0x7E9, Bytes{0x01}, 1), Delivery::Filtered);
    drain(cable);

    cable.set_output_limit(30);
    EXPECT_EQ(cable.deliver_can(5, 0x7E8, Bytes(8, 0)), Delivery::Delivered);  // 21 bytes
    EXPECT_EQ(cable.deliver_can(5, 0x7E8, Bytes(8, 0)), Delivery::Overflow);
    EXPECT_EQ(cable.dropped_messages(), 1u);
    send(cable, "ata\r\n");  // answers are never dropped
    EXPECT_EQ(drain(cable).size(), 21u + 5u);
}

struct FakeTraffic : TrafficSource {
    std::vector<std::string>* log;
    explicit FakeTraffic(std::vector<std::string>* l) : log(l) {}
    void start(VehiclePort& port) override { log->push_back(port.is_open(5) ? "start open" : "start closed"); }
    void stop() override { log->push_back("stop"); }
};

TEST(CableFirmwareTest, TrafficSourceRunsWhileAttached) {
    std::vector<std::string> log;
    {
        CableFirmware cable;
        cable.attach_traffic(std::make_unique<FakeTraffic>(&log));
        send(cable, "ato5 0 500000 0\r\n");
        cable.attach_traffic(std::make_unique<FakeTraffic>(&log));
    }
    EXPECT_EQ(log, (std::vector<std::string>{"start closed", "stop", "start open", "stop"}));
}

TEST(CableFirmwareTest, ConcurrentTrafficNeverSplitsAFrame) {
    CableFirmware cable;
    send(cable, "ato5 0 500000 0\r\n");
    drain(cable);
    constexpr int messages = 2000;
    constexpr int commands = 500;
    std::thread traffic([&] {
        for (int i = 0; i < messages; ++i) cable.deliver_can(5, 0x100, Bytes(8, 0x11));
    });
    for (int i = 0; i < commands; ++i) send(cable, "ata\r\n");
    traffic.join();

    const std::string out = drain(cable);
    int acks = 0;
    int frames = 0;
    for (std::size_t at = 0; at < out.size();) {
        if (out.compare(at, 5, "aro\r\n") == 0) {
            ++acks;
            at += 5;
        } else {
            ASSERT_EQ(out.compare(at, 5, "ar5\x11\x40"), 0) << "at " << at;
            ++frames;
            at += 21;
        }
    }
    EXPECT_EQ(acks, commands);
    EXPECT_EQ(frames, messages);
}

}  // namespace
}  // namespace vexo::sim
