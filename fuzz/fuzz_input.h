#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

// Reads the fuzzer's bytes as a sequence of choices; past the end every read gives zeros.
class FuzzInput {
public:
    explicit FuzzInput(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}

    bool empty() const { return pos_ >= bytes_.size(); }
    std::uint8_t byte() { return pos_ < bytes_.size() ? bytes_[pos_++] : 0; }
    std::uint16_t u16() { return static_cast<std::uint16_t>(byte() | byte() << 8); }
    std::uint32_t u32() { return static_cast<std::uint32_t>(u16()) | static_cast<std::uint32_t>(u16()) << 16; }
    // Up to n bytes, fewer when the input runs out.
    std::vector<std::uint8_t> bytes(std::size_t n) {
        std::vector<std::uint8_t> out;
        while (out.size() < n && !empty()) out.push_back(byte());
        return out;
    }
    std::span<const std::uint8_t> rest() {
        const auto out = bytes_.subspan(std::min(pos_, bytes_.size()));
        pos_ = bytes_.size();
        return out;
    }

private:
    std::span<const std::uint8_t> bytes_;
    std::size_t pos_ = 0;
};
