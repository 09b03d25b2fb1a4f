#pragma once

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <mutex>

namespace vexo::tactrix {

// How long a segmented transmit may keep a channel busy when the cable never reports it done:
// a base and an allowance per CAN frame for the receiver's flow control and separation time.
inline constexpr std::chrono::milliseconds kSegmentedHoldBase{100};
inline constexpr std::chrono::milliseconds kSegmentedHoldPerFrame{20};

// The transmits handed to the cable that it has not yet reported done, per cable channel. An
// ISO 15765-2 receiver aborts a segmented message when a single frame from the same sender
// arrives in the middle of it, so a periodic message waits while a segmented transmit of its
// channel may still be on the bus. The cable reports every transmit done (TxDone) in the order
// they were handed to it; when a report never comes, the hold ends after its bound and what was
// written counts as done. Safe from any thread; its lock is held for a few instructions only.
class TransmitTracker {
public:
    using Clock = std::chrono::steady_clock;

    // One more transmit handed to the cable, which puts it on the bus as `frames` CAN frames.
    void written(std::uint8_t cable_channel, std::size_t frames);
    // The cable reported a transmit done.
    void done(std::uint8_t cable_channel);
    // Whether a segmented transmit of the channel may still be on the bus.
    bool busy(std::uint8_t cable_channel);
    // A cable opened afresh has nothing in flight.
    void forget();

private:
    struct Channel {
        std::uint64_t written = 0;
        std::uint64_t done = 0;
        std::uint64_t segmented_through = 0;  // busy until `done` reaches it
        Clock::time_point hold_until{};
    };
    static constexpr std::size_t kChannels = 10;  // the cable's channel digits

    std::mutex mutex_;
    std::array<Channel, kChannels> channels_{};
};

}  // namespace vexo::tactrix
