#include "sim/vehicle_can_ecu.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <thread>

#include "sim/vehicle_catalog.h"
#include "tests/sim/vehicle_host.h"

namespace vexo::sim {
namespace {

using testing::can_message;
using testing::Host;
using testing::OutFrame;

const Bytes all_ones{0xFF, 0xFF, 0xFF, 0xFF};
const Bytes id_7e0{0x00, 0x00, 0x07, 0xE0};
const Bytes id_7e8{0x00, 0x00, 0x07, 0xE8};
const Bytes id_7e1{0x00, 0x00, 0x07, 0xE1};
const Bytes id_7e9{0x00, 0x00, 0x07, 0xE9};

Bytes concat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& part : parts) append(out, part);
    return out;
}

Bytes vin_bytes() { return to_bytes(demo_vin); }

struct CanEcuTest : ::testing::Test {
    CableFirmware cable;
    DemoVehicle demo = install_demo_vehicle(cable);
    Host host{cable};

    // ISO15765 at 500 kbit/s with 7E8 paired to 7E0.
    void open_iso15765() {
        host.send("ato6 0 500000 0\r\n");
        host.send("atf6 3 64 4\r\n", concat({all_ones, id_7e8, id_7e0}));
        host.take();
    }
    std::vector<Bytes> ask(std::uint32_t id, Bytes request, std::uint8_t channel = iso15765_channel) {
        return host.transmit(channel, can_message(id, std::move(request)), 64);
    }
    std::vector<Bytes> answer(Bytes reply) { return {can_message(0x7E8, std::move(reply))}; }
    std::vector<Bytes> tcm_answer(Bytes reply) { return {can_message(0x7E9, std::move(reply))}; }
};

TEST_F(CanEcuTest, FunctionalVinRequestAnsweredInChunksAfterTxDone) {
    host.send("ato6 0 500000 0\r\n");
    host.send("atf6 3 64 4\r\n", concat({all_ones, id_7e8, id_7e0}));
    const auto setup = host.take();
    ASSERT_EQ(setup.size(), 2u);
    EXPECT_EQ(setup[0].text, "aro6");
    EXPECT_EQ(setup[1].text, "arf1");

    host.send("att6 6 64\r\n", Bytes{0x00, 0x00, 0x07, 0xDF, 0x09, 0x02});
    const std::vector<OutFrame> frames = host.take();
    ASSERT_EQ(frames.size(), 4u);
    EXPECT_EQ(frames[0].status, status::tx_done);
    EXPECT_EQ(frames[0].payload, (Bytes{0x00, 0x00, 0x07, 0xDF}));

    const Bytes reply = concat({{0x49, 0x02, 0x01}, vin_bytes()});
    const std::uint8_t statuses[] = {status::normal, status::normal, status::rx_end};
    for (std::size_t i = 0; i < 3; ++i) {
        const OutFrame& chunk = frames[i + 1];
        EXPECT_TRUE(chunk.data);
        EXPECT_EQ(chunk.channel, 6);
        EXPECT_EQ(chunk.status, statuses[i]) << i;
        const auto first = reply.begin() + static_cast<std::ptrdiff_t>(8 * i);
        const auto last = reply.begin() + static_cast<std::ptrdiff_t>(std::min<std::size_t>(8 * i + 8, reply.size()));
        EXPECT_EQ(chunk.payload, concat({id_7e8, Bytes(first, last)})) << i;
        EXPECT_GE(chunk.ts_us, frames[0].ts_us);
    }
    const auto messages = testing::assemble(frames, 6);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(std::string(messages[0].begin() + 7, messages[0].end()), demo_vin);
}

TEST_F(CanEcuTest, FiltersDecideWhatReachesTheHost) {
    host.send("ato6 0 500000 0\r\n");
    host.take();
    EXPECT_TRUE(ask(0x7E0, {0x01, 0x0D}).empty());  // no filter yet: only the TxDone

    // A pass filter lets single frames through, but without flow control pairing the ECU
    // cannot send the VIN's consecutive frames.
    host.send("atf6 1 64 4\r\n", concat({all_ones, id_7e8}));
    host.take();
    EXPECT_EQ(ask(0x7E0, {0x03}), answer({0x43, 0x02, 0x03, 0x01, 0x04, 0x20}));
    EXPECT_TRUE(ask(0x7E0, {0x09, 0x02}).empty());

    host.send("atf6 3 64 4\r\n", concat({all_ones, id_7e8, id_7e0}));
    host.take();
    EXPECT_EQ(ask(0x7E0, {0x09, 0x02}), answer(concat({{0x49, 0x02, 0x01}, vin_bytes()})));

    host.send("atf6 2 64 4\r\n", concat({all_ones, id_7e8}));
    host.take();
    EXPECT_TRUE(ask(0x7E0, {0x03}).empty());
}

TEST_F(CanEcuTest, HearsOnlyItsIdsAtItsBitRate) {
    open_iso15765();
    EXPECT_TRUE(ask(0x7E1, {0x01, 0x0D}).empty());
    EXPECT_TRUE(host.transmit(6, can_message(0x7E0, {0x01, 0x0D}), 64 | 0x100).empty());  // 29-bit 7E0
    EXPECT_EQ(ask(0x7E0, {0x01, 0x1C}), answer({0x41, 0x1C, 0x03}));

    host.send("ats6 1 250000\r\n");
    host.take();
    EXPECT_TRUE(ask(0x7E0, {0x01, 0x1C}).empty());
    host.send("ats6 1 500000\r\n");
    host.take();
    EXPECT_EQ(ask(0x7DF, {0x01, 0x1C}), answer({0x41, 0x1C, 0x03}));
}

TEST_F(CanEcuTest, StoredCodesUntilCleared) {
    open_iso15765();
    EXPECT_EQ(ask(0x7E0, {0x03}), answer({0x43, 0x02, 0x03, 0x01, 0x04, 0x20}));
    EXPECT_EQ(ask(0x7E0, {0x01, 0x01}), answer({0x41, 0x01, 0x82, 0x07, 0x65, 0x00}));  // lamp on, 2 codes
    EXPECT_EQ(ask(0x7E0, {0x04}), answer({0x44}));
    EXPECT_EQ(ask(0x7E0, {0x03}), answer({0x43, 0x00}));
    EXPECT_EQ(ask(0x7E0, {0x01, 0x01}), answer({0x41, 0x01, 0x00, 0x07, 0x65, 0x00}));
    EXPECT_TRUE(demo.engine->stored_dtcs().empty());
    EXPECT_EQ(ask(0x7E0, {0x03, 0x00}), answer({0x7F, 0x03, 0x13}));
}

TEST_F(CanEcuTest, LiveDataMovesWithinItsRanges) {
    open_iso15765();
    const auto reply = ask(0x7E0, {0x01, 0x0C, 0x0D, 0x42});
    ASSERT_EQ(reply.size(), 1u);
    const Bytes& m = reply[0];
    ASSERT_EQ(m.size(), 4u + 9u);
    EXPECT_EQ((Bytes{m[4], m[5], m[8], m[10]}), (Bytes{0x41, 0x0C, 0x0D, 0x42}));
    const unsigned rpm = (m[6] << 8 | m[7]) / 4;
    EXPECT_GE(rpm, 750u);
    EXPECT_LE(rpm, 3000u);
    EXPECT_LE(m[9], 120u);
    const unsigned millivolts = m[11] << 8 | m[12];
    EXPECT_GE(millivolts, 14000u);
    EXPECT_LE(millivolts, 14300u);
}

TEST_F(CanEcuTest, UdsAnswersAndRefusals) {
    open_iso15765();
    EXPECT_EQ(ask(0x7E0, {0x10, 0x03}), answer({0x50, 0x03, 0x00, 0x32, 0x01, 0xF4}));
    EXPECT_EQ(ask(0x7E0, {0x3E, 0x00}), answer({0x7E, 0x00}));
    EXPECT_TRUE(ask(0x7E0, {0x3E, 0x80}).empty());
    EXPECT_EQ(ask(0x7E0, {0x22, 0xF1, 0x90}), answer(concat({{0x62, 0xF1, 0x90}, vin_bytes()})));

    EXPECT_EQ(ask(0x7E0, {0x31, 0x01, 0x02, 0x03}), answer({0x7F, 0x31, 0x11}));
    EXPECT_EQ(ask(0x7E0, {0x10, 0x04}), answer({0x7F, 0x10, 0x12}));
    EXPECT_EQ(ask(0x7E0, {0x3E, 0x01}), answer({0x7F, 0x3E, 0x12}));
    EXPECT_EQ(ask(0x7E0, {0x22, 0xF1, 0x99}), answer({0x7F, 0x22, 0x31}));
    EXPECT_EQ(ask(0x7E0, {0x01, 0x0E}), answer({0x7F, 0x01, 0x31}));
    EXPECT_EQ(ask(0x7E0, {0x22, 0xF1}), answer({0x7F, 0x22, 0x13}));
    EXPECT_EQ(ask(0x7E0, {0x10, 0x03, 0x00}), answer({0x7F, 0x10, 0x13}));

    // Sent to every ECU, "cannot serve that" stays unsaid; other refusals do not.
    EXPECT_TRUE(ask(0x7DF, {0x31, 0x01}).empty());
    EXPECT_TRUE(ask(0x7DF, {0x22, 0xF1, 0x99}).empty());
    EXPECT_EQ(ask(0x7DF, {0x22, 0xF1}), answer({0x7F, 0x22, 0x13}));
}

// A request of several frames is on the bus 1 ms a frame (86 ms here); a single frame to the
// ECU's own ID in between breaks it off, as ISO 15765-2 has it, while one to the functional ID does not.
TEST_F(CanEcuTest, ASingleFrameBreaksOffASegmentedRequest) {
    open_iso15765();
    Bytes request{0x22};
    Bytes reply{0x62};
    for (int i = 0; i < 300; ++i) {
        append(request, Bytes{0xF1, 0x86});
        append(reply, Bytes{0xF1, 0x86, 0x01});
    }
    for (const std::uint32_t between : {0u, 0x7E0u, 0x7DFu}) {
        host.send("att6 605 64\r\n", can_message(0x7E0, request));
        if (between != 0) host.send("att6 6 64\r\n", can_message(between, {0x3E, 0x80}));
        // Once both are done, anything the ECU answers is there 20 ms later.
        std::vector<OutFrame> frames;
        const auto done = [&] {
            return std::count_if(frames.begin(), frames.end(),
                                 [](const OutFrame& f) { return f.status == status::tx_done; });
        };
        for (int i = 0; i < 5000 && done() < (between == 0 ? 1 : 2); ++i) {
            for (OutFrame& frame : host.take()) frames.push_back(std::move(frame));
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        for (OutFrame& frame : host.take()) frames.push_back(std::move(frame));
        EXPECT_EQ(assemble(frames, iso15765_channel),
                  between == 0x7E0 ? std::vector<Bytes>{} : std::vector<Bytes>{concat({id_7e8, reply})})
            << between;
    }
}

TEST_F(CanEcuTest, SecurityAccessWithSeedAndKey) {
    open_iso15765();
    EXPECT_EQ(ask(0x7E0, {0x27, 0x02, 0x00, 0x00}), answer({0x7F, 0x27, 0x24}));  // no seed asked for

    auto seeded = ask(0x7E0, {0x27, 0x01});
    ASSERT_EQ(seeded.size(), 1u);
    ASSERT_EQ(seeded[0].size(), 8u);
    EXPECT_EQ((Bytes{seeded[0][4], seeded[0][5]}), (Bytes{0x67, 0x01}));
    std::uint16_t seed = static_cast<std::uint16_t>(seeded[0][6] << 8 | seeded[0][7]);
    EXPECT_NE(seed, 0);
    std::uint16_t wrong = security_key(seed) ^ 1;
    EXPECT_EQ(ask(0x7E0, {0x27, 0x02, static_cast<std::uint8_t>(wrong >> 8), static_cast<std::uint8_t>(wrong)}),
              answer({0x7F, 0x27, 0x35}));

    seeded = ask(0x7E0, {0x27, 0x01});
    seed = static_cast<std::uint16_t>(seeded.at(0).at(6) << 8 | seeded.at(0).at(7));
    const std::uint16_t key = seed ^ 0x5A5A;
    EXPECT_EQ(ask(0x7E0, {0x27, 0x02, static_cast<std::uint8_t>(key >> 8), static_cast<std::uint8_t>(key)}),
              answer({0x67, 0x02}));
    EXPECT_EQ(ask(0x7E0, {0x27, 0x01}), answer({0x67, 0x01, 0x00, 0x00}));  // already unlocked
    EXPECT_EQ(ask(0x7E0, {0x27, 0x03}), answer({0x7F, 0x27, 0x12}));

    ask(0x7E0, {0x10, 0x01});  // a new session locks again
    EXPECT_NE(ask(0x7E0, {0x27, 0x01}), answer({0x67, 0x01, 0x00, 0x00}));
}

TEST_F(CanEcuTest, RawCanSingleFrames) {
    host.send("ato5 0 500000 0\r\n");
    host.send("atf5 1 64 4\r\n", concat({all_ones, id_7e8}));
    host.take();
    const auto reply = ask(0x7E0, {0x02, 0x01, 0x1C, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA}, can_channel);
    EXPECT_EQ(reply, answer({0x03, 0x41, 0x1C, 0x03, 0xAA, 0xAA, 0xAA, 0xAA}));
    EXPECT_EQ(ask(0x7DF, {0x01, 0x04}, can_channel), answer({0x01, 0x44, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA}));
    // The VIN needs more than one frame; a first frame is not a request the ECU takes raw.
    EXPECT_TRUE(ask(0x7E0, {0x02, 0x09, 0x02}, can_channel).empty());
    EXPECT_TRUE(ask(0x7E0, {0x10, 0x08, 0x22, 0xF1, 0x90, 0xF1, 0x8C, 0x00}, can_channel).empty());
    EXPECT_TRUE(ask(0x7E0, {0x05, 0x01, 0x0C}, can_channel).empty());  // length beyond the frame
}

TEST_F(CanEcuTest, TransmissionAnswersFromItsOwnProfileAndCodes) {
    open_iso15765();
    host.send("atf6 3 64 4\r\n", concat({all_ones, id_7e9, id_7e1}));
    host.take();
    EXPECT_EQ(ask(0x7E1, {0x03}), tcm_answer({0x43, 0x01, 0x07, 0x30}));
    EXPECT_EQ(ask(0x7E1, {0x07}), tcm_answer({0x47, 0x00}));
    EXPECT_EQ(ask(0x7E1, {0x02, 0x02, 0x00}), tcm_answer({0x42, 0x02, 0x00, 0x07, 0x30}));
    EXPECT_EQ(ask(0x7E1, {0x01, 0x0C}), tcm_answer({0x7F, 0x01, 0x31}));
    EXPECT_EQ(ask(0x7E1, {0x22, 0xF1, 0x8C}), tcm_answer(concat({{0x62, 0xF1, 0x8C}, to_bytes("VX-TCM-0001138")})));
    EXPECT_EQ(demo.transmission->stored_dtcs(), (std::vector<std::uint16_t>{0x0730}));
}

TEST_F(CanEcuTest, FunctionalRequestsAnsweredByEachEcuThatCan) {
    open_iso15765();
    host.send("atf6 3 64 4\r\n", concat({all_ones, id_7e9, id_7e1}));
    host.take();
    const std::vector<Bytes> both{can_message(0x7E8, {0x41, 0x00, 0x88, 0x1A, 0x80, 0x11}),
                                  can_message(0x7E9, {0x41, 0x00, 0x80, 0x08, 0x00, 0x10})};
    EXPECT_EQ(ask(0x7DF, {0x01, 0x00}), both);
    EXPECT_EQ(ask(0x7E0, {0x01, 0x00}), answer({0x41, 0x00, 0x88, 0x1A, 0x80, 0x11}));
    EXPECT_EQ(ask(0x7DF, {0x01, 0x01}), (std::vector<Bytes>{can_message(0x7E8, {0x41, 0x01, 0x82, 0x07, 0x65, 0x00}),
                                                            can_message(0x7E9, {0x41, 0x01, 0x81, 0x00, 0x00, 0x00})}));
    // Only the engine has PIDs past 1F; the transmission keeps its refusal to itself.
    EXPECT_EQ(ask(0x7DF, {0x01, 0x20}), answer({0x41, 0x20, 0x00, 0x02, 0x00, 0x01}));
    EXPECT_EQ(ask(0x7DF, {0x04}), (std::vector<Bytes>{can_message(0x7E8, {0x44}), can_message(0x7E9, {0x44})}));
    EXPECT_TRUE(demo.transmission->stored_dtcs().empty());
}

TEST_F(CanEcuTest, TransmissionNeedsItsOwnFlowControlPairing) {
    open_iso15765();  // pairs 7E8 with 7E0 only
    host.send("atf6 1 64 4\r\n", concat({all_ones, id_7e9}));
    host.take();
    const Bytes vin_answer = concat({{0x49, 0x02, 0x01}, vin_bytes()});
    EXPECT_EQ(ask(0x7DF, {0x09, 0x02}), answer(vin_answer));
    EXPECT_TRUE(ask(0x7E1, {0x09, 0x02}).empty());
    EXPECT_EQ(ask(0x7E1, {0x03}), tcm_answer({0x43, 0x01, 0x07, 0x30}));

    // Paired the wrong way round, 7E9 with the engine's request ID, it still gives up.
    host.send("atf6 3 64 4\r\n", concat({all_ones, id_7e9, id_7e0}));
    host.take();
    EXPECT_TRUE(ask(0x7E1, {0x09, 0x02}).empty());

    host.send("atf6 3 64 4\r\n", concat({all_ones, id_7e9, id_7e1}));
    host.take();
    EXPECT_EQ(ask(0x7E1, {0x09, 0x02}), tcm_answer(vin_answer));
}

// The demo car's CAN ECUs on another bus set-up; flow control pairs each answer ID with its
// request ID.
struct DemoBusTest : ::testing::Test {
    CableFirmware cable;
    Host host{cable};

    void open_iso15765(std::uint32_t baud, std::initializer_list<std::pair<std::uint32_t, std::uint32_t>> pairs) {
        host.send("ato6 0 " + std::to_string(baud) + " 0\r\n");
        for (const auto& [response, request] : pairs)
            host.send("atf6 3 64 4\r\n", concat({all_ones, can_message(response, {}), can_message(request, {})}));
        host.take();
    }
};

TEST_F(DemoBusTest, TwentyNineBitCarHearsOnlyTwentyNineBitFrames) {
    install_demo_vehicle(cable, {.extended_ids = true});
    open_iso15765(500000, {{0x18DAF110, 0x18DA10F1}, {0x18DAF118, 0x18DA18F1}});
    const auto ask = [&](std::uint32_t id, Bytes request, std::uint32_t flags) {
        return host.transmit(iso15765_channel, can_message(id, std::move(request)), flags);
    };
    constexpr std::uint32_t bit29 = 64 | 0x100;
    EXPECT_EQ(ask(0x18DB33F1, {0x01, 0x01}, bit29),
              (std::vector<Bytes>{can_message(0x18DAF110, {0x41, 0x01, 0x82, 0x07, 0x65, 0x00}),
                                  can_message(0x18DAF118, {0x41, 0x01, 0x81, 0x00, 0x00, 0x00})}));
    EXPECT_EQ(ask(0x18DA18F1, {0x03}, bit29), (std::vector<Bytes>{can_message(0x18DAF118, {0x43, 0x01, 0x07, 0x30})}));
    EXPECT_EQ(ask(0x18DA10F1, {0x09, 0x02}, bit29),
              (std::vector<Bytes>{can_message(0x18DAF110, concat({{0x49, 0x02, 0x01}, vin_bytes()}))}));

    EXPECT_TRUE(ask(0x7DF, {0x01, 0x01}, 64).empty());
    EXPECT_TRUE(ask(0x18DB33F1, {0x01, 0x01}, 64).empty());            // the right ID, sent as 11-bit
    EXPECT_TRUE(ask(0x18DA10F1, {0x01, 0x01}, bit29 | 0x80).empty());  // extended addressing
}

TEST_F(DemoBusTest, ElevenBitCarIgnoresTwentyNineBitFrames) {
    install_demo_vehicle(cable);
    open_iso15765(500000, {{0x7E8, 0x7E0}, {0x7E9, 0x7E1}});
    for (const std::uint32_t id : {0x7DFu, 0x7E1u, 0x18DB33F1u, 0x18DA10F1u})
        EXPECT_TRUE(host.transmit(iso15765_channel, can_message(id, {0x01, 0x01}), 64 | 0x100).empty()) << id;
    EXPECT_EQ(host.transmit(iso15765_channel, can_message(0x7E1, {0x01, 0x01}), 64),
              (std::vector<Bytes>{can_message(0x7E9, {0x41, 0x01, 0x81, 0x00, 0x00, 0x00})}));
}

TEST_F(DemoBusTest, SlowCarHeardOnlyAtItsBitRate) {
    install_demo_vehicle(cable, {.bit_rate = 250000});
    open_iso15765(500000, {{0x7E8, 0x7E0}, {0x7E9, 0x7E1}});
    EXPECT_TRUE(host.transmit(iso15765_channel, can_message(0x7DF, {0x01, 0x1C}), 64).empty());

    host.send("ats6 1 250000\r\n");
    host.take();
    EXPECT_EQ(host.transmit(iso15765_channel, can_message(0x7DF, {0x01, 0x1C}), 64),
              (std::vector<Bytes>{can_message(0x7E8, {0x41, 0x1C, 0x03}), can_message(0x7E9, {0x41, 0x1C, 0x03})}));
}

}  // namespace
}  // namespace vexo::sim
