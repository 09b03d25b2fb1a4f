#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "core/diagnostic_log.h"
#include "core/text_format.h"
#include "sim/cable_firmware.h"
#include "sim/cable_frames.h"
#include "tactrix/tactrix_device.h"
#include "tests/unit/usb_sim_fixture.h"

namespace vexo::tactrix {

// Every line the driver writes, as the debugger output receives it.
class DriverLines {
public:
    DriverLines() {
        vexo::set_debug_sink([this](std::string_view line) {
            std::lock_guard lock(mutex_);
            lines_.emplace_back(line);
        });
    }
    ~DriverLines() { vexo::set_debug_sink(nullptr); }
    DriverLines(const DriverLines&) = delete;
    DriverLines& operator=(const DriverLines&) = delete;

    std::vector<std::string> take() {
        std::lock_guard lock(mutex_);
        return std::exchange(lines_, {});
    }

    // The lines so far that begin with one of the prefixes; the others are dropped as well.
    std::vector<std::string> take(std::initializer_list<std::string_view> prefixes) {
        std::vector<std::string> matching;
        for (auto& line : take()) {
            for (std::string_view prefix : prefixes) {
                if (!line.starts_with(prefix)) continue;
                matching.push_back(std::move(line));
                break;
            }
        }
        return matching;
    }
    std::vector<std::string> take(std::string_view prefix) { return take({prefix}); }

    // Whether hex dumps reach the log; a build with the placeholder log writes none.
    bool dumps_hex() {
        take();
        log_hex_dump("probe", {});
        return !take().empty();
    }

private:
    std::mutex mutex_;
    std::vector<std::string> lines_;
};

// "ok", or the J2534 status and text of the error: one string to compare exactly.
template <class R>
std::string outcome(const R& result) {
    if (result) return "ok";
    return "0x" + text::hex_byte(static_cast<std::uint8_t>(result.error().status())) + " " + result.error().message();
}

inline std::string text_of(std::span<const std::uint8_t> bytes) { return std::string(bytes.begin(), bytes.end()); }

// A data frame as the cable sends it; the payload may be a braced list.
inline sim::Bytes frame_of(std::uint8_t channel, std::uint8_t status, const sim::Bytes& payload,
                           std::uint32_t ts_us = 0) {
    return sim::data_frame(channel, status, payload, ts_us);
}

inline sim::Bytes concat(std::initializer_list<sim::Bytes> parts) {
    sim::Bytes out;
    for (const auto& part : parts) sim::append(out, part);
    return out;
}

// A TactrixDevice on one simulated cable that runs the firmware model.
class TactrixSimTest : public UsbSimTest {
protected:
    void SetUp() override {
        UsbSimTest::SetUp();
        cable = std::make_shared<sim::CableFirmware>();
        cable_index = sim::attach_cables(1);
        sim::install_link(cable_index, cable);
        device = std::make_unique<TactrixDevice>();
    }
    void TearDown() override {
        device.reset();
        UsbSimTest::TearDown();
    }

    void open_device() {
        auto opened = device->open(0);
        ASSERT_EQ(outcome(opened), "ok");
        forget_traffic();
    }
    void connect(std::uint32_t protocol, std::uint32_t baud = 500000) {
        auto connected = device->connect(1, protocol, 0, baud);
        ASSERT_EQ(outcome(connected), "ok");
        forget_traffic();
    }
    // What the device wrote, the cable heard, libusb was asked and the log saw up to now.
    void forget_traffic() {
        mark_ = sim::written_bytes().size();
        cable->clear_commands();
        sim::clear_calls();
        log.take();
    }
    // Bytes written to the cable since the last forget_traffic().
    std::string written() const {
        const auto all = sim::written_bytes();
        return text_of(std::span(all).subspan(mark_));
    }
    const TactrixChannel& channel(std::uint32_t id) { return *device->channel(id); }

    DriverLines log;
    std::shared_ptr<sim::CableFirmware> cable;
    unsigned cable_index = 0;
    std::unique_ptr<TactrixDevice> device;

private:
    std::size_t mark_ = 0;
};

}  // namespace vexo::tactrix
