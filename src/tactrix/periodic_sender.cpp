#include "tactrix/periodic_sender.h"

#include <algorithm>
#include <string>

#include "core/diagnostic_log.h"
#include "core/text_format.h"
#include "platform/module_lifetime.h"

namespace vexo::tactrix {

namespace {

using Clock = std::chrono::steady_clock;

// How soon a message held behind a segmented transmit of its channel is tried again.
constexpr std::chrono::milliseconds kHeldRetry{1};

// Once the process exits, no sender may touch the trace, libusb or the cable any more: their
// static objects go while its thread still runs, since the device slot, and with it the
// sender, is never destroyed. Never destroyed itself.
class ExitGate {
public:
    static ExitGate& instance() {
        static ExitGate* const gate = new ExitGate;
        return *gate;
    }
    // False once the process exits.
    bool enter() {
        std::lock_guard lock(mutex_);
        if (closed_) return false;
        ++inside_;
        return true;
    }
    void leave() {
        {
            std::lock_guard lock(mutex_);
            --inside_;
        }
        idle_.notify_all();
    }
    // Waits for the senders inside, which a write time-out bounds.
    void close() {
        std::unique_lock lock(mutex_);
        closed_ = true;
        idle_.wait(lock, [this] { return inside_ == 0; });
    }

private:
    std::mutex mutex_;
    std::condition_variable idle_;
    unsigned inside_ = 0;
    bool closed_ = false;
};

// The first sender thread readies the process for threads of ours.
void ready_process() {
    static std::once_flag once;
    std::call_once(once, [] {
        platform::pin_own_module();
        platform::at_process_exit([] { ExitGate::instance().close(); });
    });
}

std::string name_of(const PeriodicMessage& message) {
    return "periodic message " + text::dec(message.id) + " on channel " + text::dec(message.channel_id);
}

}  // namespace

std::string periodic_wire_label(std::uint32_t id) {
    return std::string(kTransmitLabel) + " (periodic " + text::dec(id) + ")";
}

void PeriodicSender::add(PeriodicMessage message) {
    bool start = false;
    {
        std::lock_guard lock(mutex_);
        messages_.push_back(std::move(message));
        start = !running_;
        if (start) {
            running_ = true;
            stopping_ = false;
        }
    }
    if (!start) {
        wake_.notify_all();
        return;
    }
    ready_process();
    // A thread that ended when the cable went away is joined before the next one starts.
    if (thread_.joinable()) thread_.join();
    driver_log("periodic sender started");
    thread_ = std::thread([this] { run(); });
}

bool PeriodicSender::remove(std::uint32_t channel_id, std::uint32_t id) {
    {
        std::lock_guard lock(mutex_);
        const auto erased = std::erase_if(messages_, [&](const PeriodicMessage& message) {
            return message.channel_id == channel_id && message.id == id;
        });
        if (erased == 0) return false;
    }
    stop_if_idle();
    return true;
}

void PeriodicSender::remove_channel(std::uint32_t channel_id) {
    {
        std::lock_guard lock(mutex_);
        std::erase_if(messages_, [&](const PeriodicMessage& message) { return message.channel_id == channel_id; });
        paused_.erase(channel_id);
    }
    stop_if_idle();
}

void PeriodicSender::stop() {
    {
        std::lock_guard lock(mutex_);
        messages_.clear();
        paused_.clear();
    }
    stop_if_idle();
}

void PeriodicSender::stop_if_idle() {
    {
        std::lock_guard lock(mutex_);
        if (!messages_.empty()) {
            wake_.notify_all();
            return;
        }
        stopping_ = true;
    }
    wake_.notify_all();
    if (!thread_.joinable()) return;
    thread_.join();
    driver_log("periodic sender stopped");
}

std::size_t PeriodicSender::count(std::uint32_t channel_id) const {
    std::lock_guard lock(mutex_);
    return static_cast<std::size_t>(std::count_if(
        messages_.begin(), messages_.end(), [&](const PeriodicMessage& m) { return m.channel_id == channel_id; }));
}

void PeriodicSender::pause(std::uint32_t channel_id) {
    std::lock_guard lock(mutex_);
    paused_.insert(channel_id);
}

void PeriodicSender::resume(std::uint32_t channel_id) {
    {
        std::lock_guard lock(mutex_);
        paused_.erase(channel_id);
    }
    wake_.notify_all();
}

std::optional<PassThruError> PeriodicSender::loss() const {
    std::lock_guard lock(mutex_);
    return loss_;
}

void PeriodicSender::run() {
    // A message held back is tried again a little later; meanwhile others go out when due.
    const auto when = [](const PeriodicMessage& message) { return std::max(message.due, message.retry); };
    std::unique_lock lock(mutex_);
    while (!stopping_ && !messages_.empty()) {
        PeriodicMessage* next = nullptr;
        for (PeriodicMessage& message : messages_) {
            if (paused_.contains(message.channel_id)) continue;
            if (next == nullptr || when(message) < when(*next)) next = &message;
        }
        if (next == nullptr) {
            wake_.wait(lock);
            continue;
        }
        if (Clock::now() < when(*next)) {
            wake_.wait_until(lock, when(*next));
            continue;
        }
        if (send(*next) == Step::Lost) break;
    }
    running_ = false;
}

PeriodicSender::Step PeriodicSender::send(PeriodicMessage& message) {
    ExitGate& gate = ExitGate::instance();
    if (!gate.enter()) return Step::Lost;
    auto sent = cable_.transmit_unattended(message.transmit, kCommandTimeout, periodic_wire_label(message.id));
    Step step = Step::Sent;
    if (sent && *sent == Unattended::Held) {
        step = Step::Held;
    } else if (sent && *sent == Unattended::Skipped) {
        step = Step::Skipped;
    } else if (!sent && cable_gone(sent.error())) {
        driver_log("periodic messages stopped, the cable is gone: " + sent.error().message());
        loss_ = sent.error();
        messages_.clear();
        paused_.clear();
        step = Step::Lost;
    } else if (!sent) {
        driver_log(name_of(message) + " not sent, next try in " + text::dec(message.interval.count()) +
                   " ms: " + sent.error().message());
    }
    gate.leave();
    if (step == Step::Held) message.retry = Clock::now() + kHeldRetry;
    if (step == Step::Held || step == Step::Lost) return step;
    // The next send keeps the phase, also after a failed or skipped write; sends a late write
    // missed are skipped.
    const auto now = Clock::now();
    message.due += message.interval;
    while (message.due <= now) message.due += message.interval;
    return step;
}

}  // namespace vexo::tactrix
