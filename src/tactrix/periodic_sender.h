#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "core/passthru_error.h"
#include "tactrix/cable_session.h"

namespace vexo::tactrix {

// One periodic message as the sender keeps it: its own copy of the command, built once.
struct PeriodicMessage {
    std::uint32_t id = 0;
    std::uint32_t channel_id = 0;
    Transmit transmit;
    std::chrono::milliseconds interval{0};
    std::chrono::steady_clock::time_point due{};    // of the next send
    std::chrono::steady_clock::time_point retry{};  // of a send held back, if after `due`
};

// How a periodic message's sends show in the trace: "tactrix TX wire (periodic 3)".
std::string periodic_wire_label(std::uint32_t id);

// The thread that sends one device's periodic messages, which exists only while it has some.
// It never takes the device lock and never reads from the cable: it writes each message due
// as one whole command through CableSession::transmit_unattended, so it goes out between the
// application's commands even while a read holds the device lock. A message keeps its phase:
// a late send does not move the next one. A send held back behind a segmented transmit of its
// channel goes out as soon as that is through; one due while a command cut short waits to be
// finished is skipped. A write that fails is logged and tried again at the next due time; one
// that finds the cable gone stops every message.
// Its operations run under the device lock; its own lock guards the messages, and is held by
// the thread while it writes, so that whoever stops, pauses or changes a message knows no write
// of it is under way once the call returns.
class PeriodicSender {
public:
    explicit PeriodicSender(CableSession& cable) : cable_(cable) {}
    ~PeriodicSender() { stop(); }
    PeriodicSender(const PeriodicSender&) = delete;
    PeriodicSender& operator=(const PeriodicSender&) = delete;

    // Keeps the message; the thread starts with the first one.
    void add(PeriodicMessage message);
    // Stops one message; false when the channel has none with that ID.
    bool remove(std::uint32_t channel_id, std::uint32_t id);
    // Stops every message of the channel.
    void remove_channel(std::uint32_t channel_id);
    // Stops every message; the thread is gone when it returns.
    void stop();
    std::size_t count(std::uint32_t channel_id) const;
    // A paused channel's messages are not sent; what fell due meanwhile goes out on resume.
    void pause(std::uint32_t channel_id);
    void resume(std::uint32_t channel_id);
    // The failure that showed the cable gone and so stopped every message, if one did.
    std::optional<PassThruError> loss() const;

private:
    enum class Step { Sent, Held, Skipped, Lost };

    void run();
    Step send(PeriodicMessage& message);
    // Ends the thread if it has nothing left to send.
    void stop_if_idle();

    CableSession& cable_;
    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::vector<PeriodicMessage> messages_;
    std::set<std::uint32_t> paused_;
    std::optional<PassThruError> loss_;
    bool running_ = false;   // the thread is in run()
    bool stopping_ = false;  // run() is to return
    std::thread thread_;
};

}  // namespace vexo::tactrix
