#include "tactrix/rx_buffer.h"

#include <algorithm>

namespace vexo::tactrix {

RxBuffer::RxBuffer() { storage_.reserve(kInitialCapacity); }

void RxBuffer::append(std::span<const std::uint8_t> incoming) {
    storage_.insert(storage_.end(), incoming.begin(), incoming.end());
}

void RxBuffer::consume(std::size_t n) {
    head_ += std::min(n, size());
    compact_if_worthwhile();
}

std::vector<std::uint8_t> RxBuffer::take_front(std::size_t n) {
    const auto front = bytes().first(std::min(n, size()));
    std::vector<std::uint8_t> out(front.begin(), front.end());
    consume(out.size());
    return out;
}

void RxBuffer::clear() {
    storage_.clear();
    head_ = 0;
}

void RxBuffer::compact_if_worthwhile() {
    if (head_ == storage_.size()) {
        clear();  // nothing live: free to start over
        return;
    }
    // Each move shifts fewer bytes than were consumed since the last one: linear overall.
    if (head_ >= kCompactMinimum && head_ * 2 >= storage_.size()) {
        storage_.erase(storage_.begin(), storage_.begin() + static_cast<std::ptrdiff_t>(head_));
        head_ = 0;
    }
}

}  // namespace vexo::tactrix
