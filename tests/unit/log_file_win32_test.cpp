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

// The writers are this test in processes of its own, told so by VEXO_TRACE_WRITER (their index
// and the directory); they start together, when the gate event is set.
TEST_F(Win32LogFile, SeveralProcessesRotateOnceAndLoseNoLine) {
    constexpr const char* kGate = "vexo-trace-writers";
    if (const auto writer = platform::environment_value("VEXO_TRACE_WRITER")) {
        ::WaitForSingleObject(::OpenEventA(SYNCHRONIZE, FALSE, kGate), 60000);
        return write_rotation_lines(writer->front() - '0', writer->substr(1));
    }
    const HANDLE gate = ::CreateEventA(nullptr, TRUE, FALSE, kGate);
    wchar_t self[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring command = L"\"" + std::wstring(self) + L"\" --gtest_filter=Win32LogFile.SeveralProcesses*";
    std::vector<PROCESS_INFORMATION> writers(kRotationWriters);
    for (int w = 0; w < kRotationWriters; ++w) {
        platform::set_environment_value("VEXO_TRACE_WRITER", std::to_string(w) + utf8(dir_));
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        ASSERT_TRUE(::CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                                     &writers[static_cast<std::size_t>(w)]));
    }
    platform::set_environment_value("VEXO_TRACE_WRITER", std::nullopt);
    ::SetEvent(gate);
    for (const PROCESS_INFORMATION& process : writers) {
        DWORD code = 1;
        ::WaitForSingleObject(process.hProcess, INFINITE);
        EXPECT_TRUE(::GetExitCodeProcess(process.hProcess, &code) && code == 0);
        ::CloseHandle(process.hThread);
        ::CloseHandle(process.hProcess);
    }
    ::CloseHandle(gate);
    expect_rotated_once_without_loss();
}

}  // namespace
}  // namespace vexo
