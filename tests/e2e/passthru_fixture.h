#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "passthru_library.h"
#include "passthru_records.h"
#include "sim_controls.h"
#include "taps.h"

namespace vexo::e2e {

// One application session against the shipped library: a fresh simulated bus with one
// cable, and a log directory of the test's own (TEMP points into it), so that the wire and
// the log file hold only what this test caused. Whatever the test leaves open is closed.
class PassThruTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Opens the device and connects channels, asserting success; the taps then start afresh.
    void open_device();
    void connect(std::uint32_t protocol_id, std::uint32_t baud_rate, std::uint32_t flags = 0);

    // What PassThruGetLastError hands out.
    std::string last_error() const;
    // Puts a known text into LastError with a call the open device refuses before any wire traffic.
    void mark_last_error();
    static constexpr const char* kMarkedError = "invalid protocol ID";

    // PassThruReadMsgs into a fresh array of `capacity` messages; `read` holds the first n.
    struct ReadResult {
        J2534_STATUS status = 0;
        J2534_ULONG n = 0;
        std::vector<PASSTHRU_MSG> msgs;
    };
    ReadResult read(std::uint32_t channel, std::uint32_t capacity, std::uint32_t timeout_ms) const;
    J2534_STATUS write(std::uint32_t channel, PASSTHRU_MSG msg, std::uint32_t timeout_ms = 100) const;

    // Cable commands received, one line each, CR LF removed.
    std::vector<std::string> cable_commands() const;

    const PassThruLibrary& pt = passthru_library();
    const SimControls& sim = sim_controls();
    WireTap wire{sim};
    LogTap log{""};
};

}  // namespace vexo::e2e
