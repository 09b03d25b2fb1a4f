#include "tactrix/transmit_tracker.h"

namespace vexo::tactrix {

void TransmitTracker::written(std::uint8_t cable_channel, std::size_t frames) {
    if (cable_channel >= kChannels) return;
    std::lock_guard lock(mutex_);
    Channel& channel = channels_[cable_channel];
    ++channel.written;
    if (frames <= 1) return;
    channel.segmented_through = channel.written;
    channel.hold_until = Clock::now() + kSegmentedHoldBase + kSegmentedHoldPerFrame * frames;
}

void TransmitTracker::done(std::uint8_t cable_channel) {
    if (cable_channel >= kChannels) return;
    std::lock_guard lock(mutex_);
    Channel& channel = channels_[cable_channel];
    // Reports of transmits already counted done when a hold ran out are not counted twice.
    if (channel.done < channel.written) ++channel.done;
}

bool TransmitTracker::busy(std::uint8_t cable_channel) {
    if (cable_channel >= kChannels) return false;
    std::lock_guard lock(mutex_);
    Channel& channel = channels_[cable_channel];
    if (channel.done >= channel.segmented_through) return false;
    if (Clock::now() < channel.hold_until) return true;
    channel.done = channel.written;
    return false;
}

void TransmitTracker::forget() {
    std::lock_guard lock(mutex_);
    channels_ = {};
}

}  // namespace vexo::tactrix
