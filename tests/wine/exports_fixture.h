#pragma once
// The shipped DLL and the simulated cable's libusb-1.0.dll, loaded once for a suite that calls
// every export through GetProcAddress. The paths come from VEXO_EXPORTS_LIBRARY and
// VEXO_EXPORTS_SIM_USB.
#include <gtest/gtest.h>
#include <windows.h>

#include <filesystem>
#include <set>
#include <string>

#include "vexo/j2534.h"

class ExportsFixture : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        // The simulated cable first: the library binds a loaded libusb-1.0.dll by its name.
        usb_ = load(VEXO_EXPORTS_SIM_USB);
        library_ = load(VEXO_EXPORTS_LIBRARY);
    }

    void SetUp() override {
        ASSERT_NE(usb_, nullptr) << VEXO_EXPORTS_SIM_USB;
        ASSERT_NE(library_, nullptr) << VEXO_EXPORTS_LIBRARY;
        sim<void (*)()>("vexo_sim_reset")();
        sim<unsigned (*)(unsigned)>("vexo_sim_attach_cables")(1);
    }

    void TearDown() override { sim<void (*)()>("vexo_sim_reset")(); }

    template <class F>
    F sim(const char* name) {
        return reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(usb_, name)));
    }

    // The export's address, counted as called.
    FARPROC address_of(const char* name) {
        called_.insert(name);
        return GetProcAddress(library_, name);
    }

    void expect_all_fourteen_called() {
        EXPECT_EQ(called_,
                  (std::set<std::string>{"PassThruOpen", "PassThruClose", "PassThruConnect", "PassThruDisconnect",
                                         "PassThruReadMsgs", "PassThruWriteMsgs", "PassThruStartPeriodicMsg",
                                         "PassThruStopPeriodicMsg", "PassThruStartMsgFilter", "PassThruStopMsgFilter",
                                         "PassThruSetProgrammingVoltage", "PassThruReadVersion", "PassThruGetLastError",
                                         "PassThruIoctl"}));
    }

    // A pass filter every CAN frame meets: mask and pattern of four zero bytes.
    static void can_filter(PASSTHRU_MSG& mask, PASSTHRU_MSG& pattern) {
        mask = PASSTHRU_MSG{};
        pattern = PASSTHRU_MSG{};
        mask.ProtocolID = pattern.ProtocolID = CAN;
        mask.DataSize = pattern.DataSize = 4;
    }
    // Tester present to the functional address 0x7DF, as one CAN frame.
    static PASSTHRU_MSG tester_present() {
        PASSTHRU_MSG frame{};
        frame.ProtocolID = CAN;
        frame.DataSize = 5;
        frame.Data[2] = 0x07;
        frame.Data[3] = 0xDF;
        frame.Data[4] = 0x3E;
        return frame;
    }

    static HMODULE load(const char* path) {
        const std::filesystem::path full = std::filesystem::absolute(path);
        return LoadLibraryExW(full.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    }

    static inline HMODULE usb_ = nullptr;
    static inline HMODULE library_ = nullptr;
    std::set<std::string> called_;
};
