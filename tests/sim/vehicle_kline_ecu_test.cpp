#include "sim/vehicle_kline_ecu.h"

#include <gtest/gtest.h>

#include <stdexcept>

#include "sim/vehicle_catalog.h"
#include "sim/vehicle_kwp_frame.h"
#include "sim/vehicle_obd_services.h"
#include "tests/sim/vehicle_host.h"

namespace vexo::sim {
namespace {

using testing::Host;

Bytes with_vin(Bytes head) {
    append(head, to_bytes(demo_vin));
    return head;
}

TEST(KwpFrameTest, EncodesAndParsesEachHeaderForm) {
    EXPECT_EQ(encode_kwp({kwp_addressing::physical, 0xF1, 0x10, {0xC1, 0xEF, 0x8F}}),
              (Bytes{0x83, 0xF1, 0x10, 0xC1, 0xEF, 0x8F, 0xC3}));
    EXPECT_EQ(encode_kwp({kwp_addressing::none, 0, 0, {0x7E}}), (Bytes{0x01, 0x7E, 0x7F}));
    const Bytes long_data(64, 0x01);
    const Bytes long_frame = encode_kwp({kwp_addressing::physical, 0xF1, 0x10, long_data});
    EXPECT_EQ((Bytes{long_frame[0], long_frame[3]}), (Bytes{0x80, 64}));  // length byte after the header
    EXPECT_EQ(parse_kwp(long_frame), (KwpMessage{kwp_addressing::physical, 0xF1, 0x10, long_data}));
    EXPECT_THROW(encode_kwp({kwp_addressing::physical, 0xF1, 0x10, Bytes(256)}), std::length_error);

    EXPECT_EQ(parse_kwp(Bytes{0xC1, 0x33, 0xF1, 0x81, 0x66, 0x99}),  // trailing byte ignored
              (KwpMessage{kwp_addressing::functional, 0x33, 0xF1, {0x81}}));
    EXPECT_FALSE(parse_kwp(Bytes{0x81, 0x10, 0xF1, 0x81, 0x04}));  // checksum off by one
    EXPECT_FALSE(parse_kwp(Bytes{0x82, 0x10, 0xF1, 0x21, 0x01}));  // checksum missing
    EXPECT_FALSE(parse_kwp(Bytes{0x41, 0x10, 0xF1, 0x81, 0x13}));  // not KWP2000 addressing
    EXPECT_FALSE(parse_kwp(Bytes{0x80, 0x10, 0xF1, 0x00, 0x81}));  // no data
}

TEST(KlineEcuTest, FastInitWakesTheEcuThenItServesRequests) {
    CableFirmware cable;
    install_demo_vehicle(cable);
    Host host(cable);
    host.send("ato4 0 10400 0\r\natf4 1 0 1\r\n", Bytes{0x00, 0x00});
    host.take();

    // Asleep: requests go unanswered until the fast init.
    EXPECT_TRUE(host.transmit(4, {0x81, 0x10, 0xF1, 0x3E}, 0).empty());

    host.send("aty4 4 0\r\n", Bytes{0x81, 0x10, 0xF1, 0x81});
    const auto init = host.take();
    ASSERT_EQ(init.size(), 1u);
    EXPECT_EQ(init[0].text, "ary4 7");
    EXPECT_EQ(init[0].payload, (Bytes{0x83, 0xF1, 0x10, 0xC1, 0xEF, 0x8F, 0xC3}));

    host.send("att4 5 0\r\n", Bytes{0x82, 0x10, 0xF1, 0x21, 0x01});
    const auto frames = host.take();
    ASSERT_EQ(frames.size(), 4u);
    EXPECT_EQ(frames[0].status, status::tx_done);
    EXPECT_EQ(frames[1].status, status::normal_start);
    EXPECT_EQ(frames[3].status, status::rx_end);
    const Bytes& reply = frames[2].payload;
    ASSERT_EQ(reply.size(), 12u);
    EXPECT_EQ((Bytes(reply.begin(), reply.begin() + 5)), (Bytes{0x88, 0xF1, 0x10, 0x61, 0x01}));
    EXPECT_EQ(reply.back(), kwp_checksum(std::span(reply).first(11)));
    const unsigned rpm = reply[5] << 8 | reply[6];
    EXPECT_GE(rpm, 750u);
    EXPECT_LE(rpm, 3000u);

    EXPECT_EQ(host.transmit(4, {0xC2, 0x33, 0xF1, 0x1A, 0x90}, 0),
              std::vector<Bytes>{encode_kwp({kwp_addressing::physical, 0xF1, 0x10, with_vin({0x5A, 0x90})})});
    EXPECT_EQ(host.transmit(4, {0x81, 0x10, 0xF1, 0x3E}, 0), (std::vector<Bytes>{{0x81, 0xF1, 0x10, 0x7E, 0x00}}));
    EXPECT_TRUE(host.transmit(4, {0x82, 0x10, 0xF1, 0x3E, 0x02}, 0).empty());
    EXPECT_EQ(host.transmit(4, {0x82, 0x10, 0xF1, 0x21, 0x07}, 0),
              (std::vector<Bytes>{{0x83, 0xF1, 0x10, 0x7F, 0x21, 0x31, 0x55}}));
    EXPECT_EQ(host.transmit(4, {0x81, 0x10, 0xF1, 0x27}, 0),
              (std::vector<Bytes>{{0x83, 0xF1, 0x10, 0x7F, 0x27, 0x11, 0x3B}}));
    EXPECT_TRUE(host.transmit(4, {0x81, 0x11, 0xF1, 0x3E}, 0).empty());  // another ECU's address

    // The checksum the host supplies itself, when it says so; a wrong one is not heard.
    EXPECT_EQ(host.transmit(4, {0x81, 0x10, 0xF1, 0x3E, 0xC0}, 0x200),
              (std::vector<Bytes>{{0x81, 0xF1, 0x10, 0x7E, 0x00}}));
    EXPECT_TRUE(host.transmit(4, {0x81, 0x10, 0xF1, 0x3E, 0xC1}, 0x200).empty());

    EXPECT_EQ(host.transmit(4, {0x81, 0x10, 0xF1, 0x82}, 0), (std::vector<Bytes>{{0x81, 0xF1, 0x10, 0xC2, 0x44}}));
    EXPECT_TRUE(host.transmit(4, {0x81, 0x10, 0xF1, 0x3E}, 0).empty());  // communication stopped
}

TEST(KlineEcuTest, FastInitFindsNoEcuWhereNoneListens) {
    CableFirmware cable;
    install_demo_vehicle(cable);
    Host host(cable);
    host.send("ato3 0 10400 0\r\nato4 0 9600 0\r\n");
    host.take();
    const Bytes start{0x81, 0x10, 0xF1, 0x81, 0x03};
    host.send("aty3 5 0\r\n", start);
    host.send("aty4 5 0\r\n", start);  // wrong baud rate
    host.send("ats4 1 10400\r\n");
    host.send("aty4 4 0\r\n", Bytes{0x81, 0x10, 0xF1, 0x3E});  // not a StartCommunication
    host.send("aty4 5 0\r\n", start);                          // checksum included is fine
    const auto frames = host.take();
    ASSERT_EQ(frames.size(), 5u);
    EXPECT_EQ(frames[0].text, "ary3 0");
    EXPECT_EQ(frames[1].text, "ary4 0");
    EXPECT_EQ(frames[3].text, "ary4 0");
    EXPECT_EQ(frames[4].text, "ary4 7");
}

// A cable stand-in whose clock the test sets.
struct ClockedPort : VehiclePort {
    std::uint32_t now = 1000;
    std::vector<Bytes> kline;
    Delivery deliver_can(std::uint8_t, std::uint32_t, std::span<const std::uint8_t>,
                         std::optional<std::uint32_t>) override {
        return Delivery::WrongChannel;
    }
    Delivery deliver_kline(std::uint8_t, std::span<const std::uint8_t> data) override {
        kline.emplace_back(data.begin(), data.end());
        return Delivery::Delivered;
    }
    bool is_open(std::uint8_t) const override { return true; }
    std::uint32_t now_us() const override { return now; }
};

TEST(KlineEcuTest, SessionEndsAfterP3maxWithoutRequests) {
    ClockedPort port;
    KlineEcu ecu(port);
    ecu.on_channel_opened(4, 0, 10400);
    ASSERT_FALSE(ecu.on_fast_init(4, Bytes{0xC1, 0x33, 0xF1, 0x81})->empty());
    const Transmission tester_present{4, 0, {0x81, 0x10, 0xF1, 0x3E}};

    port.now += 5'000'000;
    ecu.on_transmit(tester_present);
    EXPECT_EQ(port.kline.size(), 1u);
    port.now += 5'000'001;
    ecu.on_transmit(tester_present);
    EXPECT_EQ(port.kline.size(), 1u);
    EXPECT_FALSE(ecu.communicating());

    EXPECT_EQ(ecu.on_fast_init(3, Bytes{0xC1, 0x33, 0xF1, 0x81}), std::nullopt);  // not its channel
    ecu.on_fast_init(4, Bytes{0xC1, 0x33, 0xF1, 0x81});
    ecu.on_channel_closed(4);
    EXPECT_FALSE(ecu.communicating());
}

// The data of each message the ECU put on the line.
std::vector<Bytes> data_of(const std::vector<Bytes>& lines) {
    std::vector<Bytes> data;
    for (const Bytes& line : lines) data.push_back(parse_kwp(line).value().data);
    return data;
}

TEST(KlineEcuTest, ObdServicesInTheirKlineForm) {
    ClockedPort port;
    KlineEcu ecu(port);
    ecu.on_channel_opened(4, 0, 10400);
    ecu.on_fast_init(4, Bytes{0xC1, 0x33, 0xF1, 0x81});
    const auto ask = [&](Bytes request) {
        port.kline.clear();
        ecu.on_transmit({4, 0, std::move(request)});
        return data_of(port.kline);
    };
    EXPECT_EQ(port.kline, std::vector<Bytes>{});
    EXPECT_EQ(ask({0xC2, 0x33, 0xF1, 0x01, 0x00}), (std::vector<Bytes>{{0x41, 0x00, 0x88, 0x1A, 0x80, 0x11}}));
    EXPECT_EQ(port.kline[0][0], 0x86);
    EXPECT_EQ(ask({0xC1, 0x33, 0xF1, 0x03}), (std::vector<Bytes>{{0x43, 0x01, 0x71, 0, 0, 0, 0}}));
    EXPECT_EQ(ask({0xC2, 0x33, 0xF1, 0x09, 0x02}), (std::vector<Bytes>{{0x49, 0x02, 0x01, 0, 0, 0, '1'},
                                                                       {0x49, 0x02, 0x02, 'V', 'X', 'D', 'M'},
                                                                       {0x49, 0x02, 0x03, '5', 'S', 'M', '8'},
                                                                       {0x49, 0x02, 0x04, 'N', '0', '0', '0'},
                                                                       {0x49, 0x02, 0x05, '4', '2', '1', '7'}}));
    EXPECT_TRUE(ask({0xC2, 0x33, 0xF1, 0x01, 0x0E}).empty());  // functional: unsupported goes unanswered
    EXPECT_EQ(ask({0x82, 0x10, 0xF1, 0x01, 0x0E}), (std::vector<Bytes>{{0x7F, 0x01, 0x31}}));
    EXPECT_EQ(ask({0xC1, 0x33, 0xF1, 0x04}), (std::vector<Bytes>{{0x44}}));
    EXPECT_TRUE(ecu.stored_dtcs().empty());
    EXPECT_EQ(ask({0xC1, 0x33, 0xF1, 0x03}), (std::vector<Bytes>{{0x43, 0, 0, 0, 0, 0, 0}}));

    const std::uint16_t four[] = {0x0301, 0x0420, 0x0171, 0xC123};
    EXPECT_EQ(obd_stored_dtcs_short(Bytes{0x03}, four),
              (std::vector<Bytes>{{0x43, 0x03, 0x01, 0x04, 0x20, 0x01, 0x71}, {0x43, 0xC1, 0x23, 0, 0, 0, 0}}));
}

}  // namespace
}  // namespace vexo::sim
