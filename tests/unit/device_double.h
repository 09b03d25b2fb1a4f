#pragma once

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "api/device_slot.h"
#include "core/device.h"
#include "core/diagnostic_log.h"
#include "core/passthru_error.h"
#include "vexo/j2534.h"

namespace vexo::testing_support {

class MockDevice : public Device {
public:
    MOCK_METHOD((Result<std::uint32_t>), open, (std::uint32_t), (override));
    MOCK_METHOD(VoidResult, close, (std::uint32_t), (override));
    MOCK_METHOD((Result<std::uint32_t>), connect, (std::uint32_t, std::uint32_t, std::uint32_t, std::uint32_t),
                (override));
    MOCK_METHOD(VoidResult, disconnect, (std::uint32_t), (override));
    MOCK_METHOD((Result<std::vector<Message>>), read_msgs, (std::uint32_t, std::uint32_t, std::uint32_t), (override));
    MOCK_METHOD(WriteResult, write_msgs, (std::uint32_t, std::span<const Message>, std::uint32_t), (override));
    MOCK_METHOD((Result<std::uint32_t>), start_periodic_msg, (std::uint32_t, const Message&, std::uint32_t),
                (override));
    MOCK_METHOD((Result<std::uint32_t>), start_msg_filter, (std::uint32_t, const FilterSpec&), (override));
    MOCK_METHOD(VoidResult, stop_msg_filter, (std::uint32_t, std::uint32_t), (override));
    MOCK_METHOD(VoidResult, set_programming_voltage, (std::uint32_t, const PinSelector&, std::uint32_t), (override));
    MOCK_METHOD((Result<VersionInfo>), read_version, (std::uint32_t), (override));
    MOCK_METHOD((Result<IoctlOutput>), ioctl, (std::uint32_t, std::uint32_t, const IoctlInput*), (override));
    // stop_periodic_msg keeps the interface's default, which refuses with NotSupported.
};

// Every line the entry points write, as the debugger output sees it.
class LogCapture {
public:
    LogCapture() {
        vexo::set_debug_sink([this](std::string_view line) {
            std::lock_guard lock(mutex_);
            lines_.emplace_back(line);
        });
    }
    ~LogCapture() { vexo::set_debug_sink(nullptr); }

    std::vector<std::string> take() {
        std::lock_guard lock(mutex_);
        return std::exchange(lines_, {});
    }

private:
    std::mutex mutex_;
    std::vector<std::string> lines_;
};

// Empties the slot without asking the device, so every test leaves it as it found it.
inline void empty_slot() {
    BreakableGuard guard(api::device_slot().lock);
    api::device_slot().device.reset();
}

inline PASSTHRU_MSG passthru_msg(std::vector<std::uint8_t> data, std::uint32_t tx_flags = 0) {
    PASSTHRU_MSG msg{};
    msg.ProtocolID = ISO15765;
    msg.TxFlags = tx_flags;
    msg.DataSize = static_cast<std::uint32_t>(data.size());
    std::copy(data.begin(), data.end(), msg.Data);
    return msg;
}

inline std::string last_error_text() { return last_error::copy().value_or("<broken>"); }

// No device in the slot; lines are captured.
class NoDeviceTest : public ::testing::Test {
protected:
    void TearDown() override {
        empty_slot();
        api::set_device_factory(nullptr);
    }
    LogCapture log;
};

// The slot holds a mock opened with device ID 1; the open's own line is already taken.
class OpenDeviceTest : public NoDeviceTest {
protected:
    void SetUp() override {
        auto owned = std::make_unique<::testing::NiceMock<MockDevice>>();
        device = owned.get();
        ON_CALL(*device, open).WillByDefault(::testing::Return(1u));
        install(std::move(owned));
        std::uint32_t id = 0;
        ASSERT_EQ(PassThruOpen(nullptr, &id), STATUS_NOERROR);
        log.take();
    }

    void install(std::unique_ptr<Device> next) {
        pending_ = std::move(next);
        api::set_device_factory([this] { return std::move(pending_); });
    }

    MockDevice* device = nullptr;

private:
    std::unique_ptr<Device> pending_;
};

}  // namespace vexo::testing_support
