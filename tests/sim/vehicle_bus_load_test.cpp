#include "sim/vehicle_bus_load.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <span>

#include "sim/cable_firmware.h"
#include "tests/sim/vehicle_host.h"

namespace vexo::sim {
namespace {

using Clock = std::chrono::steady_clock;

TEST(BusLoadFrameTest, IdsCycleAndDataCarriesTheFrameNumber) {
    const BusLoadSettings settings;
    EXPECT_EQ(bus_load_frame(settings, 0), (BusLoadFrame{0x100, {0, 0, 0, 0, 0x00, 0x00, 0x00, 0xA5}}));
    EXPECT_EQ(bus_load_frame(settings, 17), (BusLoadFrame{0x101, {0, 0, 0, 0x11, 0x01, 0x33, 0x77, 0xB4}}));
    EXPECT_EQ(bus_load_frame(settings, 0x1020304F).can_id, 0x10Fu);
    BusLoadSettings short_frames;
    short_frames.first_id = 0x7FF;
    short_frames.id_count = 1;
    short_frames.data_bytes = 3;
    EXPECT_EQ(bus_load_frame(short_frames, 0x01020304), (BusLoadFrame{0x7FF, {0x01, 0x02, 0x03}}));
}

// Reads the channel's messages until `count` arrived or 10 seconds passed. Never more bytes than
// the missing frames fill, so what a slow reader finds queued stays in the cable.
std::vector<Bytes> read_messages(CableFirmware& cable, std::size_t count) {
    std::string out;
    std::uint8_t buffer[512];
    const auto give_up = Clock::now() + std::chrono::seconds(10);
    std::vector<Bytes> messages;
    while (messages.size() < count && Clock::now() < give_up) {
        const std::size_t wanted = std::min(sizeof buffer, (count - messages.size()) * 21 - out.size());
        const std::size_t n = cable.host_read(std::span(buffer, wanted), Clock::now() + std::chrono::milliseconds(50));
        out.append(reinterpret_cast<const char*>(buffer), n);
        // Only whole frames are split; a frame is 21 bytes.
        const std::size_t whole = out.size() - out.size() % 21;
        for (Bytes& m : testing::assemble(testing::split_output(out.substr(0, whole)), can_channel))
            messages.push_back(std::move(m));
        out.erase(0, whole);
    }
    return messages;
}

void expect_unbroken_sequence(const std::vector<Bytes>& messages, const BusLoadSettings& settings) {
    for (std::size_t n = 0; n < messages.size(); ++n) {
        const BusLoadFrame frame = bus_load_frame(settings, n);
        ASSERT_EQ(messages[n], testing::can_message(frame.can_id, frame.data)) << "frame " << n;
    }
}

struct BusLoadSourceTest : ::testing::Test {
    CableFirmware cable;
    void SetUp() override {
        testing::Host(cable).send("ato5 0 500000 0\r\n");
        std::uint8_t ack[16];
        ASSERT_EQ(cable.host_read(ack, Clock::now()), 6u);
    }
};

TEST_F(BusLoadSourceTest, StreamsAtItsRateUntilStopped) {
    BusLoadSettings settings;
    settings.frames_per_second = 2000;
    auto source = std::make_unique<BusLoadSource>(settings);
    const auto counters = source->counters();
    cable.attach_traffic(std::move(source));
    const auto messages = read_messages(cable, 40);
    cable.detach_traffic();
    ASSERT_EQ(messages.size(), 40u);
    expect_unbroken_sequence(messages, settings);

    const std::uint64_t delivered = counters->delivered;
    EXPECT_EQ(cable.pending_output(), (delivered - 40) * 21);
    EXPECT_EQ(counters->refused, 0u);
}

TEST_F(BusLoadSourceTest, FlatOutWaitsForRoomInsteadOfLosingFrames) {
    cable.set_output_limit(10 * 21);
    BusLoadSettings settings;
    settings.frames_per_second = 0;
    settings.first_id = 0x200;
    settings.id_count = 3;
    auto source = std::make_unique<BusLoadSource>(settings);
    const auto counters = source->counters();
    cable.attach_traffic(std::move(source));
    auto messages = read_messages(cable, 300);
    cable.detach_traffic();
    const std::size_t left = cable.pending_output() / 21;
    for (Bytes& m : read_messages(cable, left)) messages.push_back(std::move(m));
    EXPECT_EQ(messages.size(), counters->delivered.load());
    expect_unbroken_sequence(messages, settings);
}

TEST_F(BusLoadSourceTest, RefusedFramesAreCountedAndStopIsImmediate) {
    cable.set_filtering(true);  // no filter: the cable takes nothing
    BusLoadSettings settings;
    settings.frames_per_second = 0;
    auto source = std::make_unique<BusLoadSource>(settings);
    const auto counters = source->counters();
    cable.attach_traffic(std::move(source));
    while (counters->refused < 32) std::this_thread::yield();
    cable.detach_traffic();
    EXPECT_EQ(counters->delivered, 0u);
    EXPECT_EQ(cable.pending_output(), 0u);

    BusLoadSettings slow;
    slow.frames_per_second = 1;
    BusLoadSource idle(slow);
    idle.start(cable);
    idle.stop();  // must not sit out the second until the next frame
    idle.stop();
}

}  // namespace
}  // namespace vexo::sim
