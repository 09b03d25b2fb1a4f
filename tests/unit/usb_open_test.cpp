#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <thread>

#include "tactrix/usb_transport.h"
#include "tests/unit/usb_sim_fixture.h"

namespace vexo::tactrix {
namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;

const std::vector<std::string> kOpenCallsUpToClaim = {
    "libusb_get_device_list",
    "libusb_get_device_descriptor",
    "libusb_open",
    "libusb_set_auto_detach_kernel_driver(1)",
    "libusb_set_configuration(1)",
    "libusb_detach_kernel_driver(0)",
    "libusb_detach_kernel_driver(1)",
    "libusb_claim_interface(1)",
};

// The device list is freed once the claim has succeeded or failed; `tail` follows.
std::vector<std::string> open_calls_then(std::vector<std::string> tail) {
    std::vector<std::string> calls = kOpenCallsUpToClaim;
    calls.push_back("libusb_free_device_list(1)");
    calls.insert(calls.end(), tail.begin(), tail.end());
    return calls;
}

const std::vector<std::string> kThroughConfigDescriptor = {
    "libusb_set_interface_alt_setting(1,0)",
    "libusb_get_device",
    "libusb_get_active_config_descriptor",
};

std::string open_error() {
    auto transport = open_usb(kTactrixVendorId, kTactrixProductId);
    return transport ? "opened" : transport.error().message();
}

using UsbOpen = UsbSimTest;

TEST_F(UsbOpen, OpensInOrderAndCloseReleasesInterfaceOneThenTheHandle) {
    sim::attach_cables(1);
    auto transport = open_usb(kTactrixVendorId, kTactrixProductId);
    ASSERT_TRUE(transport.has_value());
    EXPECT_EQ(transport->in_endpoint(), 0x81);
    EXPECT_EQ(transport->out_endpoint(), 0x02);
    // The simulated detach calls fail (no kernel driver): ignored, as they must be.
    auto expected = open_calls_then(kThroughConfigDescriptor);
    expected.push_back("libusb_free_config_descriptor");
    EXPECT_THAT(sim::calls(), ElementsAreArray(expected));

    sim::clear_calls();
    close_usb(std::move(*transport));
    EXPECT_THAT(sim::calls(), ElementsAre("libusb_release_interface(1)", "libusb_close"));
}

TEST_F(UsbOpen, DiscardingOrMovingTheTransportClosesExactlyOnce) {
    sim::attach_cables(1);
    {
        UsbTransport first = open_cable();
        UsbTransport second = std::move(first);
        UsbTransport third = std::move(second);
        EXPECT_EQ(third.in_endpoint(), 0x81);
    }
    EXPECT_THAT(sim::calls(), ElementsAre("libusb_release_interface(1)", "libusb_close"));
}

TEST_F(UsbOpen, AFailedReleaseIsTriedOnceMoreBeforeTheHandleCloses) {
    sim::attach_cables(1);
    UsbTransport transport = open_cable();
    sim::fail_release_interface(LIBUSB_ERROR_IO);
    close_usb(std::move(transport));
    EXPECT_THAT(sim::calls(),
                ElementsAre("libusb_release_interface(1)", "libusb_release_interface(1)", "libusb_close"));
}

TEST_F(UsbOpen, NoMatchingCableIsNotFoundWithTheIdsInFourHexDigits) {
    sim::attach_device(0x0403, 0x6001);
    EXPECT_EQ(open_error(), "I/O error: Tactrix not found (VID=0x0403 PID=0xcc4d)");
    EXPECT_THAT(sim::calls(), ElementsAre("libusb_get_device_list", "libusb_get_device_descriptor",
                                          "libusb_free_device_list(1)"));

    auto other = open_usb(0x1, 0xabc);
    ASSERT_FALSE(other.has_value());
    EXPECT_EQ(other.error().message(), "I/O error: Tactrix not found (VID=0x0001 PID=0x0abc)");
}

TEST_F(UsbOpen, ACableThatCannotBeOpenedIsFoundButNotOpenedWithLibusbsReason) {
    sim::attach_cables(2);
    sim::fail_open(true);
    EXPECT_EQ(open_error(), "I/O error: Tactrix found but cannot be opened: Access denied");
    // Every listed cable was tried; the list is freed once.
    const auto calls = sim::calls();
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "libusb_open"), 2);
    EXPECT_EQ(sim::live_devices(), 0u);
}

TEST_F(UsbOpen, ClaimFailureClosesTheHandleWithoutReleasing) {
    sim::attach_cables(1);
    sim::fail_claim_interface(LIBUSB_ERROR_BUSY);
    EXPECT_EQ(open_error(), "I/O error: Tactrix in use by another program (Resource busy)");
    std::vector<std::string> closed = kOpenCallsUpToClaim;
    closed.insert(closed.end(), {"libusb_close", "libusb_free_device_list(1)"});
    EXPECT_THAT(sim::calls(), ElementsAreArray(closed));

    sim::fail_claim_interface(LIBUSB_ERROR_ACCESS);
    EXPECT_EQ(open_error(), "I/O error: Access denied (insufficient permissions)");
}

TEST_F(UsbOpen, ACableAlreadyClaimedElsewhereIsInUse) {
    sim::attach_cables(1);
    UsbTransport first = open_cable();
    EXPECT_EQ(open_error(), "I/O error: Tactrix in use by another program (Resource busy)");
}

TEST_F(UsbOpen, WithTheFirstCableInUseTheSecondIsTaken) {
    sim::attach_cables(2);
    UsbTransport first = open_cable();
    auto second = open_usb(kTactrixVendorId, kTactrixProductId);
    ASSERT_TRUE(second.has_value()) << second.error().message();
    EXPECT_EQ(open_error(), "I/O error: Tactrix in use by another program (Resource busy)");
}

TEST_F(UsbOpen, UnreadableConfigurationReleasesAndCloses) {
    sim::attach_cables(1);
    sim::fail_config_descriptor(LIBUSB_ERROR_NO_MEM);
    EXPECT_EQ(open_error(), "I/O error: Insufficient memory");
    auto expected = open_calls_then(kThroughConfigDescriptor);
    expected.insert(expected.end(), {"libusb_release_interface(1)", "libusb_close"});
    EXPECT_THAT(sim::calls(), ElementsAreArray(expected));
}

TEST_F(UsbOpen, NoBulkPairFreesTheDescriptorReleasesAndCloses) {
    sim::set_layout(sim::attach_cables(1), sim::layouts::in_and_out_on_different_interfaces());
    EXPECT_EQ(open_error(), "I/O error: Tactrix: no bulk IN/OUT endpoint pair on any interface");
    auto expected = open_calls_then(kThroughConfigDescriptor);
    expected.insert(expected.end(), {"libusb_free_config_descriptor", "libusb_release_interface(1)", "libusb_close"});
    EXPECT_THAT(sim::calls(), ElementsAreArray(expected));
}

struct WalkCase {
    const char* name;
    sim::SimConfigLayout layout;
    std::optional<EndpointPair> pair;
};

TEST_F(UsbOpen, EndpointWalkTakesTheFirstBulkPairOfOneAltSettingZero) {
    using sim::kBulk;
    using sim::kInterrupt;
    using sim::SimAltSetting;
    using sim::SimInterface;
    const SimInterface standard_one{{SimAltSetting{0, {{0x81, kBulk}, {0x02, kBulk}}}}};
    const SimInterface empty_one{{SimAltSetting{0, {}}}};
    const WalkCase cases[] = {
        {"interrupt-only interface 0", sim::layouts::interrupt_only_interface0(), EndpointPair{0x81, 0x02}},
        {"two bulk INs", sim::layouts::two_bulk_ins(), EndpointPair{0x81, 0x02}},
        {"IN and OUT on different interfaces", sim::layouts::in_and_out_on_different_interfaces(), std::nullopt},
        {"interrupt endpoints only", sim::layouts::no_bulk_pair(), std::nullopt},
        {"OUT listed before IN",
         {SimInterface{{SimAltSetting{0, {{0x02, kBulk}, {0x81, kBulk}}}}}, empty_one},
         EndpointPair{0x81, 0x02}},
        {"alternate setting 1 skipped",
         {SimInterface{{SimAltSetting{0, {}}, SimAltSetting{1, {{0x85, kBulk}, {0x06, kBulk}}}}}, standard_one},
         EndpointPair{0x81, 0x02}},
        {"pair on interface 0 wins although interface 1 is claimed",
         {SimInterface{{SimAltSetting{0, {{0x83, kBulk}, {0x04, kBulk}}}}}, standard_one},
         EndpointPair{0x83, 0x04}},
        {"interface without alternate settings ends the walk", {SimInterface{}, standard_one}, std::nullopt},
        {"interrupt IN ahead of the bulk IN",
         {SimInterface{{SimAltSetting{0, {{0x83, kInterrupt}, {0x02, kBulk}, {0x81, kBulk}}}}}, empty_one},
         EndpointPair{0x81, 0x02}},
    };
    for (const auto& c : cases) {
        sim::reset();
        sim::set_layout(sim::attach_cables(1), c.layout);
        auto transport = open_usb(kTactrixVendorId, kTactrixProductId);
        ASSERT_EQ(transport.has_value(), c.pair.has_value()) << c.name;
        if (transport) {
            EXPECT_EQ((EndpointPair{transport->in_endpoint(), transport->out_endpoint()}), *c.pair) << c.name;
        } else {
            EXPECT_EQ(transport.error().message(), "I/O error: Tactrix: no bulk IN/OUT endpoint pair on any interface")
                << c.name;
        }
        EXPECT_EQ(sim::live_config_descriptors(), 0u) << c.name;
    }
}

TEST_F(UsbOpen, TwoCablesOpenTheFirstEnumeratedAndCountTwo) {
    auto first = attach_scripted_cable();
    auto second = attach_scripted_cable();
    EXPECT_EQ(count_devices(kTactrixVendorId, kTactrixProductId), 2u);

    UsbTransport transport = open_cable();
    const auto line = bytes_of("ati\r\n");
    ASSERT_EQ(bulk_write(transport, line, std::chrono::seconds(2)), line.size());
    EXPECT_EQ(first->input(), line);
    EXPECT_TRUE(second->input().empty());
}

TEST_F(UsbOpen, CountOpensNothingSkipsUnreadableDevicesAndFreesTheList) {
    sim::attach_cables(1);
    sim::attach_device(0x046d, 0xc52b);
    sim::fail_device_descriptor(sim::attach_cables(1), LIBUSB_ERROR_IO);
    sim::attach_cables(1);
    EXPECT_EQ(count_devices(kTactrixVendorId, kTactrixProductId), 2u);
    EXPECT_EQ(count_devices(0x046d, 0xc52b), 1u);
    for (const auto& call : sim::calls()) EXPECT_EQ(call.find("open"), std::string::npos) << call;

    sim::fail_device_list(LIBUSB_ERROR_NO_MEM);
    EXPECT_EQ(count_devices(kTactrixVendorId, kTactrixProductId), 0u);
}

TEST_F(UsbOpen, NoCableCountsZero) { EXPECT_EQ(count_devices(kTactrixVendorId, kTactrixProductId), 0u); }

TEST(UsbContext, FailureToCreateIsAnIoErrorNamingTheKind) {
    sim::reset();
    sim::fail_init(LIBUSB_ERROR_NOT_SUPPORTED);
    const auto created = create_usb_context(linked_libusb_api());
    ASSERT_FALSE(created);
    EXPECT_EQ(created.error(), TransportError::io("Can't init Global usb context, error NotSupported"));
    sim::reset();
}

TEST(UsbContext, TwoRacingThreadsCreateOneContext) {
    sim::reset();
    // A spinning start line, not std::barrier: GCC 12's atomic wait behind it can miss a wake-up
    // on MinGW's threads and hang the run.
    std::atomic<int> ready{0};
    libusb_context* seen[2] = {};
    std::thread racers[2];
    for (int i = 0; i < 2; ++i) {
        racers[i] = std::thread([&, i] {
            ready.fetch_add(1);
            while (ready.load() < 2) std::this_thread::yield();
            seen[i] = usb_context()->context;
        });
    }
    for (auto& racer : racers) racer.join();
    EXPECT_EQ(seen[0], seen[1]);
    EXPECT_NE(seen[0], nullptr);
    EXPECT_EQ(sim::live_contexts(), 1u);
}

}  // namespace
}  // namespace vexo::tactrix
