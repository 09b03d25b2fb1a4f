#include "sim/vehicle_ecu_diagnostics.h"

#include <gtest/gtest.h>

#include "sim/vehicle_engine_readings.h"
#include "sim/vehicle_obd_services.h"
#include "sim/vehicle_uptime.h"

namespace vexo::sim {
namespace {

TEST(EngineReadingsTest, FollowTheDriveCycleWarmUpAndTank) {
    EXPECT_EQ(engine_readings(0), (EngineReadings{750, 0, 20, 25, 10, 75, 14000}));
    EXPECT_EQ(engine_readings(5'000'000), (EngineReadings{1875, 60, 22, 25, 35, 75, 14150}));
    EXPECT_EQ(engine_readings(10'000'000), (EngineReadings{3000, 120, 25, 25, 60, 75, 14300}));
    EXPECT_EQ(engine_readings(15'000'000).rpm, 1875u);
    EXPECT_EQ(engine_readings(965'000'000), (EngineReadings{1875, 60, 90, 27, 35, 59, 14150}));
    EXPECT_EQ(engine_readings(100'000'000'000).fuel_pct, 10u);
}

TEST(EngineReadingsTest, UptimeRunsOnAcrossTheCounterWrap) {
    Uptime uptime;
    EXPECT_EQ(uptime.advance(0xFFFFFF00u), 0xFFFFFF00u);
    EXPECT_EQ(uptime.advance(0x00000100u), 0x100000100u);
    EXPECT_EQ(uptime.advance(0x00000200u), 0x100000200u);
}

struct EcuDiagnosticsTest : ::testing::Test {
    EcuDiagnostics ecu{{"1VXDM5SM8N0004217", "SN42", {0x0301, 0x0420}, {0x0171}, engine_obd_profile}};
    std::optional<Bytes> ask(Bytes request, bool functional = false) { return ecu.answer(request, functional, 0); }
};

TEST_F(EcuDiagnosticsTest, SupportedPidBitmapsAgreeWithTheAnswers) {
    EXPECT_EQ(ask({0x01, 0x00}), (Bytes{0x41, 0x00, 0x88, 0x1A, 0x80, 0x11}));
    EXPECT_EQ(ask({0x01, 0x20}), (Bytes{0x41, 0x20, 0x00, 0x02, 0x00, 0x01}));
    EXPECT_EQ(ask({0x01, 0x40}), (Bytes{0x41, 0x40, 0x40, 0x00, 0x00, 0x00}));
    EXPECT_EQ(ask({0x09, 0x00}), (Bytes{0x49, 0x00, 0x40, 0x00, 0x00, 0x00}));

    for (std::uint8_t base = 0x00; base <= 0x40; base += 0x20) {
        const Bytes bitmap = ask({0x01, base}).value();
        for (unsigned bit = 0; bit < 32; ++bit) {
            const auto pid = static_cast<std::uint8_t>(base + bit + 1);
            const bool marked = bitmap[2 + bit / 8] & (0x80 >> (bit % 8));
            const Bytes reply = ask({0x01, pid}).value();
            if (marked) {
                EXPECT_EQ((Bytes{reply[0], reply[1]}), (Bytes{0x41, pid})) << int{pid};
            } else {
                EXPECT_EQ(reply, (Bytes{0x7F, 0x01, 0x31})) << int{pid};
            }
        }
    }
}

TEST_F(EcuDiagnosticsTest, CurrentDataEncodings) {
    EXPECT_EQ(ask({0x01, 0x05, 0x0C, 0x0D, 0x0F, 0x11, 0x2F}),
              (Bytes{0x41, 0x05, 60, 0x0C, 0x0B, 0xB8, 0x0D, 0, 0x0F, 65, 0x11, 25, 0x2F, 191}));
    EXPECT_EQ(ask({0x01, 0x42, 0x0E}), (Bytes{0x41, 0x42, 0x36, 0xB0}));  // unknown PIDs left out
    EXPECT_EQ(ask({0x01}), (Bytes{0x7F, 0x01, 0x13}));
    EXPECT_EQ(ask({0x01, 1, 1, 1, 1, 1, 1, 1}), (Bytes{0x7F, 0x01, 0x13}));
    EXPECT_EQ(ask({0x09, 0x04}), (Bytes{0x7F, 0x09, 0x31}));
    EXPECT_FALSE(ask({0x09, 0x04}, true));
}

TEST_F(EcuDiagnosticsTest, PendingAndPermanentCodesBesideTheStoredOnes) {
    EXPECT_EQ(ask({0x07}), (Bytes{0x47, 0x01, 0x01, 0x71}));
    EXPECT_EQ(ask({0x0A}), (Bytes{0x4A, 0x02, 0x03, 0x01, 0x04, 0x20}));
    EXPECT_EQ(ask({0x04}), (Bytes{0x44}));
    EXPECT_EQ(ask({0x03}), (Bytes{0x43, 0x00}));
    EXPECT_EQ(ask({0x07}), (Bytes{0x47, 0x00}));
    EXPECT_EQ(ask({0x0A}), (Bytes{0x4A, 0x02, 0x03, 0x01, 0x04, 0x20}));  // mode 04 leaves them
    EXPECT_EQ(ask({0x07, 0x00}), (Bytes{0x7F, 0x07, 0x13}));
}

TEST(EcuDiagnosticsProfileTest, ModeOneAnswersFromTheProfile) {
    EcuDiagnostics tcm{{"1VXDM5SM8N0004217", "TCM", {0x0730}, {}, transmission_obd_profile}};
    const auto ask = [&](Bytes request) { return tcm.answer(request, false, 0); };
    EXPECT_EQ(ask({0x01, 0x00}), (Bytes{0x41, 0x00, 0x80, 0x08, 0x00, 0x10}));
    EXPECT_EQ(ask({0x01, 0x01}), (Bytes{0x41, 0x01, 0x81, 0x00, 0x00, 0x00}));  // lamp on, no monitors
    EXPECT_EQ(ask({0x01, 0x0C, 0x0D, 0x1C}), (Bytes{0x41, 0x0D, 0x00, 0x1C, 0x03}));
    EXPECT_EQ(ask({0x01, 0x20}), (Bytes{0x7F, 0x01, 0x31}));
    EXPECT_EQ(ask({0x01, 0x05}), (Bytes{0x7F, 0x01, 0x31}));
}

TEST_F(EcuDiagnosticsTest, UdsSessionsResetAndClear) {
    EXPECT_FALSE(ask({0x10, 0x83}));  // suppressed answer, session still changed
    EXPECT_EQ(ecu.uds_state().session, 0x03);
    EXPECT_EQ(ask({0x11, 0x01}), (Bytes{0x51, 0x01}));
    EXPECT_EQ(ecu.uds_state().session, 0x01);
    EXPECT_EQ(ask({0x11, 0x02}), (Bytes{0x7F, 0x11, 0x12}));
    EXPECT_EQ(ask({0x22, 0xF1, 0x8C, 0xF1, 0x99}), (Bytes{0x62, 0xF1, 0x8C, 'S', 'N', '4', '2'}));
    EXPECT_EQ(ask({0x14, 0xFF, 0xFF, 0x00}), (Bytes{0x7F, 0x14, 0x31}));
    EXPECT_EQ(ask({0x14, 0xFF, 0xFF, 0xFF}), (Bytes{0x54}));
    EXPECT_TRUE(ecu.stored_dtcs().empty());
    EXPECT_FALSE(ask({}));
}

}  // namespace
}  // namespace vexo::sim
