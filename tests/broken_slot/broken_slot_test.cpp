#include <new>
#include <stdexcept>

#include <libusb.h>

#include "sim/sim_control.h"
#include "unit/device_double.h"

namespace vexo {
namespace {

using namespace api;
using namespace testing_support;
using ::testing::ElementsAre;
using ::testing::IsEmpty;
using ::testing::Return;
using ::testing::Throw;

// Each test breaks the slot for good, so it needs a process of its own; run together in one
// process, all but the first skip.
class BrokenSlotTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (device_slot().lock.broken()) GTEST_SKIP() << "slot already broken in this process";
    }
    void TearDown() override { set_device_factory(nullptr); }

    // Opens a mock that stays in the broken slot for the rest of the process, as a real device would.
    MockDevice& open_device() {
        auto owned = std::make_unique<::testing::NiceMock<MockDevice>>();
        MockDevice& device = *owned;
        ::testing::Mock::AllowLeak(&device);
        ON_CALL(device, open).WillByDefault(Return(1u));
        set_device_factory([&owned] { return std::move(owned); });
        std::uint32_t id = 0;
        EXPECT_EQ(PassThruOpen(nullptr, &id), STATUS_NOERROR);
        log.take();
        return device;
    }

    // From now on the slot answers 0x07 silently; only open says why.
    void expect_slot_broken() {
        EXPECT_TRUE(device_slot().lock.broken());
        last_error::store("earlier failure");
        PASSTHRU_MSG msg{};
        std::uint32_t n = 1;
        std::uint32_t millivolts = 1;
        SCONFIG config{DATA_RATE, 0};
        SCONFIG_LIST list{1, &config};
        EXPECT_EQ(PassThruDisconnect(1), ERR_FAILED);
        EXPECT_EQ(PassThruReadMsgs(1, &msg, &n, 0), ERR_FAILED);
        EXPECT_EQ(PassThruClose(1), ERR_FAILED);
        EXPECT_EQ(PassThruStopPeriodicMsg(1, 1), ERR_FAILED);
        EXPECT_EQ(PassThruReadMsgs(1, nullptr, &n, 0), ERR_NULL_PARAMETER);
        EXPECT_EQ(PassThruIoctl(1, SET_CONFIG, &list, nullptr), ERR_FAILED);
        EXPECT_EQ(PassThruIoctl(1, READ_VBATT, nullptr, &millivolts), ERR_FAILED);
        EXPECT_EQ(PassThruIoctl(1, GET_CONFIG, &list, nullptr), STATUS_NOERROR);
        EXPECT_EQ(config.Value, 10400u);
        // A read that delivered nothing counts nothing; other outputs stay untouched.
        EXPECT_EQ(n, 0u);
        EXPECT_EQ(millivolts, 1u);
        EXPECT_EQ(last_error_text(), "earlier failure");
        EXPECT_THAT(
            log.take(),
            ElementsAre("[j2534] PassThruIoctl ch=1 id=0x02", "[j2534] PassThruIoctl SET_CONFIG ch=1 params=[0x1=0]",
                        "[j2534] PassThruIoctl ch=1 id=0x03", "[j2534] PassThruIoctl ch=1 id=0x01"));

        set_device_factory([] { return std::make_unique<MockDevice>(); });
        std::uint32_t id = 0xAA;
        EXPECT_EQ(PassThruOpen(nullptr, &id), ERR_FAILED);
        EXPECT_EQ(id, 0xAAu);
        EXPECT_EQ(last_error_text(), "internal error: DEVICE mutex poisoned");
        EXPECT_THAT(log.take(), ElementsAre("[j2534] PassThruOpen ERR internal error: DEVICE mutex poisoned"));
    }

    LogCapture log;
};

TEST_F(BrokenSlotTest, FactoryFaultIsCapturedByOpen) {
    set_device_factory([]() -> std::unique_ptr<Device> { throw std::runtime_error("factory exploded"); });
    std::uint32_t id = 0xAA;
    EXPECT_EQ(PassThruOpen(nullptr, &id), ERR_FAILED);
    EXPECT_EQ(id, 0xAAu);
    EXPECT_EQ(last_error_text(), "panic: factory exploded");
    EXPECT_THAT(log.take(), ElementsAre("[j2534] PassThruOpen PANIC factory exploded"));
    expect_slot_broken();
}

TEST_F(BrokenSlotTest, FaultWithoutTextInDeviceOpen) {
    set_device_factory([] {
        auto device = std::make_unique<MockDevice>();
        EXPECT_CALL(*device, open(0u)).WillOnce(Throw(42));
        return device;
    });
    std::uint32_t id = 0;
    EXPECT_EQ(PassThruOpen(nullptr, &id), ERR_FAILED);
    EXPECT_EQ(last_error_text(), "panic: unknown panic payload");
    EXPECT_THAT(log.take(), ElementsAre("[j2534] PassThruOpen PANIC unknown panic payload"));
    expect_slot_broken();
}

TEST_F(BrokenSlotTest, ThrowingReadIsContained) {
    EXPECT_CALL(open_device(), read_msgs).WillOnce(Throw(std::runtime_error("read exploded")));
    PASSTHRU_MSG msg{};
    std::uint32_t n = 1;
    EXPECT_EQ(PassThruReadMsgs(1, &msg, &n, 0), ERR_FAILED);
    EXPECT_EQ(n, 0u);
    EXPECT_THAT(log.take(), IsEmpty());
    expect_slot_broken();
}

TEST_F(BrokenSlotTest, ThrowingWriteIsContained) {
    EXPECT_CALL(open_device(), write_msgs).WillOnce(Throw(7));
    PASSTHRU_MSG msg{};
    std::uint32_t n = 1;
    EXPECT_EQ(PassThruWriteMsgs(1, &msg, &n, 0), ERR_FAILED);
    EXPECT_EQ(n, 0u);
    EXPECT_THAT(log.take(), IsEmpty());
    expect_slot_broken();
}

TEST_F(BrokenSlotTest, ThrowingIoctlIsContained) {
    EXPECT_CALL(open_device(), ioctl).WillOnce(Throw(std::bad_alloc()));
    std::uint32_t millivolts = 0;
    EXPECT_EQ(PassThruIoctl(2, READ_VBATT, nullptr, &millivolts), ERR_FAILED);
    EXPECT_THAT(log.take(), ElementsAre("[j2534] PassThruIoctl ch=2 id=0x03"));
    expect_slot_broken();
}

TEST_F(BrokenSlotTest, ThrowingCloseKeepsTheDeviceInTheBrokenSlot) {
    EXPECT_CALL(open_device(), close).WillOnce(Throw(std::logic_error("close exploded")));
    EXPECT_EQ(PassThruClose(1), ERR_FAILED);
    EXPECT_NE(device_slot().device, nullptr);
    EXPECT_THAT(log.take(), IsEmpty());
    expect_slot_broken();
}

TEST_F(BrokenSlotTest, ThrowingFilterAndConnectAreContained) {
    MockDevice& device = open_device();
    EXPECT_CALL(device, start_msg_filter).WillOnce(Throw(std::runtime_error("filter exploded")));
    EXPECT_CALL(device, connect).Times(0);
    PASSTHRU_MSG msg{};
    std::uint32_t id = 0xAA;
    EXPECT_EQ(PassThruStartMsgFilter(1, PASS_FILTER, &msg, &msg, nullptr, &id), ERR_FAILED);
    EXPECT_EQ(PassThruConnect(1, ISO15765, 0, 500000, &id), ERR_FAILED);
    EXPECT_EQ(id, 0xAAu);
    EXPECT_THAT(log.take(), IsEmpty());
    expect_slot_broken();
}

// The process's libusb context is made by the first open that succeeds, so this needs a fresh
// process too; and a libusb that fails to start must not break the slot.
TEST_F(BrokenSlotTest, FailedUsbInitFailsOnlyThatOpen) {
    if (sim::live_contexts() != 0) GTEST_SKIP() << "libusb context already made in this process";
    sim::reset();
    sim::attach_cables(1);
    sim::fail_init(LIBUSB_ERROR_IO);
    std::uint32_t id = 0xAA;
    EXPECT_EQ(PassThruOpen(nullptr, &id), ERR_DEVICE_NOT_CONNECTED);
    EXPECT_EQ(id, 0xAAu);
    EXPECT_EQ(last_error_text(), "transport error: I/O error: Can't init Global usb context, error Io");
    EXPECT_THAT(log.take(),
                ElementsAre("[j2534] PassThruOpen ERR transport error: I/O error: Can't init Global usb context, error Io"));
    EXPECT_FALSE(device_slot().lock.broken());

    sim::fail_init(LIBUSB_ERROR_NO_MEM);
    EXPECT_EQ(PassThruOpen(nullptr, &id), ERR_DEVICE_NOT_CONNECTED);
    EXPECT_EQ(last_error_text(), "transport error: I/O error: Can't init Global usb context, error NoMem");

    sim::fail_init(0);
    EXPECT_EQ(PassThruOpen(nullptr, &id), STATUS_NOERROR);
    EXPECT_EQ(id, 1u);
    EXPECT_EQ(PassThruClose(id), STATUS_NOERROR);
    EXPECT_EQ(sim::live_contexts(), 1u);
    EXPECT_EQ(sim::live_handles(), 0u);
    sim::reset();
}

}  // namespace
}  // namespace vexo
