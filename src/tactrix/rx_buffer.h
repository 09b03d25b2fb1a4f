#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace vexo::tactrix {

// Bytes received from the cable and not yet consumed. Removal from the front only advances
// a read offset; the dead prefix is dropped once it outweighs the live bytes, so draining a
// burst frame by frame stays linear in its size.
class RxBuffer {
public:
    static constexpr std::size_t kInitialCapacity = 2048;

    RxBuffer();

    // The unconsumed bytes, oldest first. Valid until the next change.
    std::span<const std::uint8_t> bytes() const { return std::span(storage_).subspan(head_); }
    std::size_t size() const { return storage_.size() - head_; }
    bool empty() const { return size() == 0; }

    void append(std::span<const std::uint8_t> incoming);
    // Drops the first n bytes (all of them if fewer are held).
    void consume(std::size_t n);
    // Removes the first n bytes (at most size()) and returns them.
    std::vector<std::uint8_t> take_front(std::size_t n);
    void clear();

    // Bytes held in storage, consumed prefix included; lets tests see that compaction happens.
    std::size_t stored() const { return storage_.size(); }

private:
    // Below this the dead prefix is not worth a move.
    static constexpr std::size_t kCompactMinimum = 1024;

    void compact_if_worthwhile();

    std::vector<std::uint8_t> storage_;
    std::size_t head_ = 0;
};

}  // namespace vexo::tactrix
