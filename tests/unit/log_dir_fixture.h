#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <thread>
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

    // Several threads append lines at once, each long enough that one written in pieces would
    // show: every line must arrive whole, on a line of its own.
    void expect_concurrent_lines_arrive_whole() const {
        constexpr int kWriters = 4;
        constexpr int kLines = 250;
        const auto text = [](int writer, int line) {
            return "writer " + std::to_string(writer) + " line " + std::to_string(line) + " " +
                   std::string(300, static_cast<char>('a' + writer));
        };
        std::vector<std::thread> writers;
        for (int w = 0; w < kWriters; ++w) {
            writers.emplace_back([w, &text] {
                for (int i = 0; i < kLines; ++i) platform::append_log_line(text(w, i));
            });
        }
        for (auto& writer : writers) writer.join();

        std::vector<std::string> expected;
        for (int w = 0; w < kWriters; ++w)
            for (int i = 0; i < kLines; ++i) expected.push_back(text(w, i));
        std::vector<std::string> got;
        const std::string contents = log_contents();
        std::size_t start = 0;
        for (std::size_t lf = contents.find('\n'); lf != std::string::npos; lf = contents.find('\n', start)) {
            got.push_back(contents.substr(start, lf - start));
            start = lf + 1;
        }
        EXPECT_EQ(start, contents.size()) << "text after the last LF";
        std::sort(expected.begin(), expected.end());
        std::sort(got.begin(), got.end());
        EXPECT_TRUE(got == expected) << "lines cut or interleaved: " << got.size() << " lines";
    }

    // Several processes write kRotationLines lines each to a trace that rotates at
    // kRotationSize: exactly one rotation, every line whole in one of the two files.
    static constexpr int kRotationWriters = 8;
    static constexpr int kRotationLines = 50;
    static constexpr std::uint64_t kRotationSize = 32 * 1024;
    static std::string rotation_line(int writer, int line) {
        return "writer " + std::to_string(writer) + " line " + std::to_string(line) + " " + std::string(80, 'r');
    }
    // The body of one writing process: into the directory, whatever TEMP it started with.
    static void write_rotation_lines(int writer, const std::string& directory) {
        platform::set_environment_value("TEMP", directory);
        platform::set_trace_rotation_size(kRotationSize);
        for (int i = 0; i < kRotationLines; ++i) platform::append_log_line(rotation_line(writer, i));
    }
    void expect_rotated_once_without_loss() const {
        const std::string older = read_file(dir_ / (std::string(platform::kLogFileName) + ".1"));
        EXPECT_GT(older.size(), kRotationSize - 100);
        EXPECT_LE(older.size(), kRotationSize);
        std::multiset<std::string> got, expected;
        std::istringstream in(older + log_contents());
        for (std::string line; std::getline(in, line);) got.insert(line);
        for (int w = 0; w < kRotationWriters; ++w)
            for (int i = 0; i < kRotationLines; ++i) expected.insert(rotation_line(w, i));
        EXPECT_TRUE(got == expected) << "lines lost, cut or doubled: " << got.size() << " lines";
    }

    std::filesystem::path dir_;
    std::vector<std::string> debug_lines_;

private:
    std::optional<std::string> saved_temp_;
    std::optional<std::string> saved_tmpdir_;
};

}  // namespace vexo::testing
