// Every libusb call an operation makes, failed in turn: with an error code, cut short, or with
// the cable unplugged. Whatever fails, the operation reports a failure (or the success its
// design allows), returns within its deadline, leaves no handle behind once the device is
// closed, and the next PassThruOpen works.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "api/device_slot.h"
#include "sim/cable_firmware.h"
#include "sim/sim_control.h"
#include "tactrix/usb_transport.h"
#include "vexo/j2534.h"

namespace vexo {
namespace {

using namespace std::chrono_literals;
using namespace api;
using Clock = std::chrono::steady_clock;

struct Operation {
    const char* name;
    std::function<void()> setup;  // after the device is open
    std::function<std::uint32_t()> run;
    Clock::duration deadline;
    // Calls at the front whose failure the operation may absorb (FAST_INIT's re-applied
    // parameters); close and disconnect report success whatever the cable did.
    std::size_t tolerant_calls = 0;
    bool always_succeeds = false;
};

struct Fault {
    const char* name;
    int code;  // 0: unplug
    std::size_t after_bytes = 0;
};

const Fault kFaults[] = {
    {"io", LIBUSB_ERROR_IO},
    {"no device", LIBUSB_ERROR_NO_DEVICE},
    {"overflow", LIBUSB_ERROR_OVERFLOW},
    {"time-out", LIBUSB_ERROR_TIMEOUT},
    {"pipe after 3 bytes", LIBUSB_ERROR_PIPE, 3},
    {"unplug", 0},
};

// Calls the driver makes for their side effect only: their failure is no failure of the operation.
bool ignored_by_design(const std::string& call) {
    for (const char* name : {"libusb_set_auto_detach_kernel_driver", "libusb_set_configuration",
                             "libusb_detach_kernel_driver", "libusb_set_interface_alt_setting",
                             "libusb_release_interface", "libusb_close", "libusb_free_config_descriptor",
                             "libusb_free_device_list"}) {
        if (call.starts_with(name)) return true;
    }
    return call == "libusb_get_device";
}

PASSTHRU_MSG message(std::uint32_t protocol, std::vector<std::uint8_t> data) {
    PASSTHRU_MSG msg{};
    msg.ProtocolID = protocol;
    msg.DataSize = static_cast<std::uint32_t>(data.size());
    std::memcpy(msg.Data, data.data(), data.size());
    return msg;
}

std::uint32_t connect(std::uint32_t protocol, std::uint32_t baud) {
    std::uint32_t channel = 0;
    EXPECT_EQ(PassThruConnect(1, protocol, 0, baud, &channel), STATUS_NOERROR);
    return channel;
}

std::uint32_t set_config(std::uint32_t channel, std::uint32_t parameter, std::uint32_t value) {
    SCONFIG pair{parameter, value};
    SCONFIG_LIST list{1, &pair};
    return PassThruIoctl(channel, SET_CONFIG, &list, nullptr);
}

const std::vector<Operation>& operations() {
    static const std::vector<Operation> all{
        {"open", [] { EXPECT_EQ(PassThruClose(1), STATUS_NOERROR); },
         [] {
             std::uint32_t id = 0;
             return PassThruOpen(nullptr, &id);
         },
         7s},
        {"connect", [] {},
         [] {
             std::uint32_t channel = 0;
             return PassThruConnect(1, ISO15765, 0, 500000, &channel);
         },
         7s},
        {"write", [] { connect(CAN, 500000); },
         [] {
             PASSTHRU_MSG msg = message(CAN, {0x00, 0x00, 0x07, 0xDF, 0x02, 0x01, 0x0D});
             std::uint32_t n = 1;
             return PassThruWriteMsgs(CAN, &msg, &n, 100);
         },
         5s},
        {"read",
         [] {
             connect(CAN, 500000);
             const std::uint8_t data[] = {0x03, 0x41, 0x0D, 0x32};
             auto cable = std::dynamic_pointer_cast<sim::CableFirmware>(sim::link_of(0));
             ASSERT_NE(cable, nullptr);
             cable->deliver_can(5, 0x7E8, data);
         },
         [] {
             PASSTHRU_MSG msg{};
             std::uint32_t n = 1;
             return PassThruReadMsgs(CAN, &msg, &n, 100);
         },
         5s},
        {"start filter", [] { connect(CAN, 500000); },
         [] {
             PASSTHRU_MSG mask = message(CAN, {0xFF, 0xFF, 0xFF, 0xFF});
             PASSTHRU_MSG pattern = message(CAN, {0x00, 0x00, 0x07, 0xE8});
             std::uint32_t id = 0;
             return PassThruStartMsgFilter(CAN, PASS_FILTER, &mask, &pattern, nullptr, &id);
         },
         5s},
        {"SET_CONFIG", [] { connect(ISO14230, 10400); }, [] { return set_config(ISO14230, DATA_RATE, 10400); }, 5s},
        {"READ_VBATT", [] {},
         [] {
             std::uint32_t millivolts = 0;
             return PassThruIoctl(1, READ_VBATT, nullptr, &millivolts);
         },
         5s},
        {"FAST_INIT",
         [] {
             connect(ISO14230, 10400);
             EXPECT_EQ(set_config(ISO14230, P1_MAX, 20), STATUS_NOERROR);
         },
         [] {
             PASSTHRU_MSG request = message(ISO14230, {0xC1, 0x33, 0xF1, 0x81, 0x66});
             PASSTHRU_MSG response{};
             return PassThruIoctl(ISO14230, FAST_INIT, &request, &response);
         },
         9s, 2},
        {"disconnect", [] { connect(ISO15765, 500000); }, [] { return PassThruDisconnect(ISO15765); }, 5s, 0, true},
        {"close", [] { connect(ISO15765, 500000); }, [] { return PassThruClose(1); }, 5s, 0, true},
    };
    return all;
}

class FaultSweep : public ::testing::TestWithParam<std::size_t> {
protected:
    void SetUp() override {
        (void)tactrix::usb_context();
        set_device_factory(nullptr);
        sim::reset();
        sim::attach_cables(1);
    }
    void TearDown() override {
        (void)PassThruClose(1);
        sim::reset();
    }

    static void open_and_set_up(const Operation& op) {
        std::uint32_t id = 0;
        ASSERT_EQ(PassThruOpen(nullptr, &id), STATUS_NOERROR);
        op.setup();
        sim::clear_calls();
    }
};

TEST_P(FaultSweep, EveryLibusbCallFailedInTurn) {
    const Operation& op = operations()[GetParam()];
    SCOPED_TRACE(op.name);
    open_and_set_up(op);
    ASSERT_EQ(op.run(), STATUS_NOERROR);
    const std::vector<std::string> calls = sim::calls();
    ASSERT_FALSE(calls.empty());
    (void)PassThruClose(1);
    RecordProperty("libusb_calls", static_cast<int>(calls.size()));

    for (std::size_t index = 0; index < calls.size(); ++index) {
        for (const Fault& fault : kFaults) {
            SCOPED_TRACE("call " + std::to_string(index) + " " + calls[index] + ", " + fault.name);
            open_and_set_up(op);
            if (fault.code == 0) {
                sim::unplug_at_call(index);
            } else {
                sim::fail_call(index, fault.code, fault.after_bytes);
            }
            const auto start = Clock::now();
            const std::uint32_t status = op.run();
            const auto took = Clock::now() - start;
            sim::clear_call_fault();

            // A read that times out is a cable that does not answer, which SET_CONFIG accepts.
            const bool silent_cable =
                fault.code == LIBUSB_ERROR_TIMEOUT && calls[index].starts_with("libusb_bulk_transfer(0x81");
            const bool success_allowed = op.always_succeeds || index < op.tolerant_calls || silent_cable ||
                                         (fault.code != 0 && ignored_by_design(calls[index]));
            if (!success_allowed) {
                EXPECT_NE(status, STATUS_NOERROR);
            }
            if (op.always_succeeds) {
                EXPECT_EQ(status, STATUS_NOERROR);
            }
            EXPECT_LE(took, op.deadline);

            (void)PassThruClose(1);
            EXPECT_EQ(sim::live_handles(), 0u);
            EXPECT_EQ(sim::live_config_descriptors(), 0u);
            EXPECT_FALSE(device_slot().lock.broken());
            if (fault.code == 0) {  // plugged in again: a fresh cable
                sim::reset();
                sim::attach_cables(1);
            }
            std::uint32_t id = 0;
            ASSERT_EQ(PassThruOpen(nullptr, &id), STATUS_NOERROR);
            ASSERT_EQ(PassThruClose(id), STATUS_NOERROR);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Operations, FaultSweep, ::testing::Range<std::size_t>(0, operations().size()),
                         [](const ::testing::TestParamInfo<std::size_t>& param) {
                             std::string name = operations()[param.param].name;
                             for (char& c : name)
                                 if (c == ' ') c = '_';
                             return name;
                         });

}  // namespace
}  // namespace vexo
