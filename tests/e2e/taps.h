#pragma once

#include <cstddef>
#include <filesystem>
#include <string>
#include <vector>

#include "sim_controls.h"

namespace vexo::e2e {

// The bytes the host wrote to the cable, taken in slices: each take() returns what was
// written since the previous one, as a byte string.
class WireTap {
public:
    explicit WireTap(const SimControls& sim) : sim_(sim) {}
    std::string take();
    // Forget what was written so far.
    void skip() { (void)take(); }

private:
    const SimControls& sim_;
    std::size_t seen_ = 0;
};

// The lines of the log file, taken in slices like WireTap.
class LogTap {
public:
    explicit LogTap(std::filesystem::path file) : file_(std::move(file)) {}
    std::vector<std::string> take();
    void skip() { (void)take(); }
    std::vector<std::string> all() const;
    const std::filesystem::path& file() const { return file_; }

private:
    std::filesystem::path file_;
    std::size_t seen_ = 0;
};

// Raw bytes written out one by one: bytes({0x61, 0x72}).
std::string bytes(std::initializer_list<int> values);

}  // namespace vexo::e2e
