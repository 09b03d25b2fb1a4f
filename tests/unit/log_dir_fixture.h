#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "core/diagnostic_log.h"
#include "platform/environment.h"
#include "platform/trace_output.h"

namespace vexo::testing {

inline std::string utf8(const std::filesystem::path& p) {
    const auto u = p.u8string();
    return std::string(u.begin(), u.end());
}

inline std::string read_file(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Gives each test a fresh log directory named by TEMP and records the debug output; puts the
// environment back afterwards, since the log reads it afresh for every line.
class LogDirTest : public ::testing::Test {
protected:
    void SetUp() override {
        saved_temp_ = platform::environment_value("TEMP");
        saved_tmpdir_ = platform::environment_value("TMPDIR");
        std::random_device rd;
        const auto base = std::filesystem::temp_directory_path();
        dir_ = base / ("vexo-log-" + std::to_string(rd()) + "-" + std::to_string(rd()));
        std::filesystem::create_directories(dir_);
        platform::set_environment_value("TEMP", utf8(dir_));
        vexo::set_debug_sink([this](std::string_view line) { debug_lines_.emplace_back(line); });
    }

    void TearDown() override {
        vexo::set_debug_sink(nullptr);
        platform::set_environment_value("TEMP", saved_temp_);
        platform::set_environment_value("TMPDIR", saved_tmpdir_);
        std::error_code ignored;
        std::filesystem::remove_all(dir_, ignored);
    }

    std::filesystem::path log_path() const { return dir_ / std::string(platform::kLogFileName); }
    std::string log_contents() const { return read_file(log_path()); }

    std::filesystem::path dir_;
    std::vector<std::string> debug_lines_;

private:
    std::optional<std::string> saved_temp_;
    std::optional<std::string> saved_tmpdir_;
};

}  // namespace vexo::testing
