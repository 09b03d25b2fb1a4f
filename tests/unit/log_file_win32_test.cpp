#include <gtest/gtest.h>
#include <windows.h>

#include "core/diagnostic_log.h"
#include "log_dir_fixture.h"

namespace vexo {
namespace {

using testing::utf8;

class Win32LogFile : public testing::LogDirTest {
protected:
    void SetUp() override {
        LogDirTest::SetUp();
        saved_tmp_ = platform::environment_value("TMP");
    }
    void TearDown() override {
        platform::set_environment_value("TMP", saved_tmp_);
        LogDirTest::TearDown();
    }
    std::optional<std::string> saved_tmp_;
};

TEST_F(Win32LogFile, NoTempMeansNoFileEvenWithTmpSet) {
    platform::set_environment_value("TMP", utf8(dir_));
    platform::set_environment_value("TEMP", std::nullopt);
    log_line("debugger only");
    EXPECT_EQ(debug_lines_.size(), 1u);
    EXPECT_TRUE(std::filesystem::is_empty(dir_));
}

TEST_F(Win32LogFile, TempThatIsNotValidUnicodeMeansNoFile) {
    std::wstring bad = dir_.wstring();
    bad.push_back(static_cast<wchar_t>(0xD800));  // unpaired surrogate
    ASSERT_TRUE(::SetEnvironmentVariableW(L"TEMP", bad.c_str()));
    platform::set_environment_value("TMP", utf8(dir_));
    log_line("debugger only");
    EXPECT_EQ(debug_lines_.size(), 1u);
    EXPECT_TRUE(std::filesystem::is_empty(dir_));
}

TEST_F(Win32LogFile, TrailingBackslashInTempStillFindsTheDirectory) {
    platform::set_environment_value("TEMP", utf8(dir_) + "\\");
    log_line("doubled separator");
    EXPECT_EQ(log_contents(), "doubled separator\n");
}

TEST_F(Win32LogFile, NonAsciiTempDirectory) {
    const auto wide = dir_ / std::filesystem::path(u8"\u0436\u0443\u0440\u043D\u0430\u043B");
    std::filesystem::create_directory(wide);
    platform::set_environment_value("TEMP", utf8(wide));
    log_line("unicode path");
    EXPECT_EQ(testing::read_file(wide / "j2534-0404.log"), "unicode path\n");
}

TEST_F(Win32LogFile, LinesOfConcurrentWritersArriveWhole) { expect_concurrent_lines_arrive_whole(); }

// The writers are this test in processes of its own, told so by VEXO_TRACE_WRITER; they start
// together, when the gate event is set.
TEST_F(Win32LogFile, SeveralProcessesRotateOnceAndLoseNoLine) {
    if (const auto writer = platform::environment_value("VEXO_TRACE_WRITER")) {
        const HANDLE gate = ::OpenEventA(SYNCHRONIZE, FALSE, platform::environment_value("VEXO_TRACE_GATE")->c_str());
        ::WaitForSingleObject(gate, 60000);
        write_rotation_lines(std::stoi(*writer), platform::environment_value("VEXO_TRACE_WRITER_DIR").value_or(""));
        return;
    }
    wchar_t self[MAX_PATH] = {};
    ASSERT_NE(::GetModuleFileNameW(nullptr, self, MAX_PATH), 0u);
    const std::string gate_name = "vexo-trace-writers-" + std::to_string(::GetCurrentProcessId());
    const HANDLE gate = ::CreateEventA(nullptr, TRUE, FALSE, gate_name.c_str());
    platform::set_environment_value("VEXO_TRACE_GATE", gate_name);
    platform::set_environment_value("VEXO_TRACE_WRITER_DIR", utf8(dir_));
    std::vector<PROCESS_INFORMATION> writers;
    for (int w = 0; w < kRotationWriters; ++w) {
        platform::set_environment_value("VEXO_TRACE_WRITER", std::to_string(w));
        std::wstring command =
            L"\"" + std::wstring(self) + L"\" --gtest_filter=Win32LogFile.SeveralProcessesRotateOnceAndLoseNoLine";
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION process{};
        ASSERT_TRUE(::CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                                     &process));
        writers.push_back(process);
    }
    platform::set_environment_value("VEXO_TRACE_WRITER", std::nullopt);
    ::SetEvent(gate);
    for (const PROCESS_INFORMATION& process : writers) {
        ::WaitForSingleObject(process.hProcess, INFINITE);
        DWORD code = 1;
        ::GetExitCodeProcess(process.hProcess, &code);
        EXPECT_EQ(code, 0u);
        ::CloseHandle(process.hThread);
        ::CloseHandle(process.hProcess);
    }
    ::CloseHandle(gate);
    expect_rotated_once_without_loss();
}

}  // namespace
}  // namespace vexo
