#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "sim/sim_control.h"
#include "sim/sim_scripted_link.h"
#include "tactrix/usb_transport.h"

namespace vexo::tactrix {

// Every test starts on an empty simulated bus with the process context already made, so
// the call record holds only what the test itself caused.
class UsbSimTest : public ::testing::Test {
protected:
    void SetUp() override {
        usb_context();
        sim::reset();
    }
    void TearDown() override {
        EXPECT_EQ(sim::live_config_descriptors(), 0u);
        EXPECT_EQ(sim::live_handles(), 0u);
        EXPECT_EQ(sim::live_devices(), 0u);
        sim::reset();
    }

    std::shared_ptr<sim::ScriptedLink> attach_scripted_cable() {
        auto link = std::make_shared<sim::ScriptedLink>();
        sim::install_link(sim::attach_cables(1), link);
        return link;
    }

    UsbTransport open_cable() {
        auto transport = open_usb(kTactrixVendorId, kTactrixProductId);
        if (!transport) throw std::runtime_error(transport.error().message());
        sim::clear_calls();
        return std::move(*transport);
    }
};

inline std::vector<std::uint8_t> bytes_of(std::string_view text) { return {text.begin(), text.end()}; }

}  // namespace vexo::tactrix
