#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "sim/cable_channel.h"
#include "sim/cable_command_stream.h"
#include "sim/cable_frames.h"
#include "sim/cable_link.h"
#include "sim/cable_output.h"
#include "sim/cable_timeline.h"
#include "sim/cable_vehicle_port.h"
#include "sim/cable_vehicle_side.h"

namespace vexo::sim {

// The cable's free-running microsecond counter: starts when the cable powers up and wraps
// at 32 bits like the time stamps it feeds.
class CableClock {
public:
    CableClock() : start_(std::chrono::steady_clock::now()) {}

    std::uint32_t now_us() const { return static_cast<std::uint32_t>(elapsed_us()); }
    // The same, without the wrap.
    std::uint64_t elapsed_us() const {
        const auto elapsed = std::chrono::steady_clock::now() - start_;
        return static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::microseconds>(elapsed).count());
    }

private:
    std::chrono::steady_clock::time_point start_;
};

// A test's override of the cable's answer to one command letter.
struct ScriptedReply {
    enum class Action {
        Silence,  // the command takes effect, nothing is answered
        Replace,  // the command takes effect, `bytes` are sent instead of the answer
        Reject,   // the command is refused without effect, answered "are<bytes>\r\n"
    };
    Action action = Action::Silence;
    std::vector<std::uint8_t> bytes;
    unsigned uses = 0;  // commands it applies to; 0 until cleared

    friend bool operator==(const ScriptedReply&, const ScriptedReply&) = default;
};

// Scripted replies queued per command letter: the first one applies; a counted one leaves
// after its uses, letting the next in line apply.
class ReplyScript {
public:
    void add(char letter, ScriptedReply reply) { queues_[letter].push_back(std::move(reply)); }
    void clear(char letter) { queues_.erase(letter); }
    void clear_all() { queues_.clear(); }

    std::optional<ScriptedReply> take(char letter);

private:
    std::map<char, std::deque<ScriptedReply>> queues_;
};

// The cable's firmware as the host sees it: reads command lines and payloads from the OUT
// endpoint, keeps the channels and filters they set up, answers on the IN endpoint, and
// passes vehicle traffic through. Tests script and inspect it through the methods below;
// every method is safe to call from any thread.
class CableFirmware final : public CableLink, public VehiclePort {
public:
    static constexpr std::string_view default_identity = "Openport 2.0 sim 1.17.4877";
    static constexpr std::uint32_t default_battery_millivolts = 12600;
    static constexpr std::uint8_t battery_pin = 16;
    // Positive reply to a KWP2000 StartCommunication (key bytes EF 8F), header and checksum included.
    static constexpr std::array<std::uint8_t, 7> default_fast_init_response{0x83, 0xF1, 0x10, 0xC1, 0xEF, 0x8F, 0xC3};
    // Unread traffic the cable holds before it drops further vehicle messages.
    static constexpr std::size_t default_output_limit = 1 << 20;
    static constexpr std::uint32_t max_filter_bytes = 12;
    // A message that takes several CAN frames (ISO 15765-2) is on the bus this long per frame,
    // as the simulated ECUs' flow control asks for 1 ms between consecutive frames. It is done,
    // and reported so (TxDone), only when the last has gone; a single frame transmitted
    // meanwhile goes out at once, between them. Messages of several frames take turns.
    static constexpr std::chrono::microseconds segmented_frame_time{1000};

    CableFirmware();
    ~CableFirmware() override;
    CableFirmware(const CableFirmware&) = delete;
    CableFirmware& operator=(const CableFirmware&) = delete;

    // The host's side.
    void host_wrote(std::span<const std::uint8_t> bytes) override;
    std::size_t host_read(std::span<std::uint8_t> into, std::chrono::steady_clock::time_point deadline) override;

    // The vehicle's side.
    Delivery deliver_can(std::uint8_t channel, std::uint32_t can_id, std::span<const std::uint8_t> data,
                         std::optional<std::uint32_t> ts_us = std::nullopt) override;
    Delivery deliver_kline(std::uint8_t channel, std::span<const std::uint8_t> data) override;
    bool is_open(std::uint8_t channel) const override;
    std::uint32_t now_us() const override;

    void set_vehicle(std::shared_ptr<VehicleSide> vehicle);
    // Starts the source; a source already attached is stopped first.
    void attach_traffic(std::unique_ptr<TrafficSource> source);
    void detach_traffic();
    // Off by default: every delivery on an open channel reaches the host. On, the channel's
    // filters decide as the standard's pass/block/flow-control rules say.
    void set_filtering(bool on);
    void set_output_limit(std::size_t bytes);
    std::uint64_t dropped_messages() const { return dropped_.load(); }

    // Settings.
    void set_identity(std::string text);
    void set_battery_millivolts(std::uint32_t millivolts);
    void set_fast_init_response(std::vector<std::uint8_t> bytes);

    // Scripting, by command letter ('o' for "ato"). `uses` 0 keeps the script until cleared.
    void script(char letter, ScriptedReply reply);
    void silence(char letter, unsigned uses = 0);
    void replace_reply(char letter, std::span<const std::uint8_t> bytes, unsigned uses = 0);
    void replace_reply(char letter, std::string_view bytes, unsigned uses = 0);
    void reject(char letter, std::string_view text, unsigned uses = 0);
    void clear_script(char letter);
    void clear_scripts();
    // Stray bytes on the IN endpoint: now, or just ahead of the answer to the next command.
    void inject(std::span<const std::uint8_t> bytes);
    void inject(std::string_view bytes);
    void inject_before_next_reply(std::span<const std::uint8_t> bytes);
    void inject_before_next_reply(std::string_view bytes);

    // Inspection.
    std::vector<ReceivedCommand> commands() const;
    // When each of commands() arrived whole, in microseconds of the cable's clock.
    std::vector<std::uint64_t> command_times() const;
    void clear_commands();
    std::optional<CableChannel> channel(std::uint8_t channel) const;
    std::size_t pending_output() const { return output_.pending(); }

private:
    using VehicleEvent = std::function<void(VehicleSide&)>;
    struct Answer {
        Bytes bytes;
        std::vector<VehicleEvent> events;
    };

    void handle(const ReceivedCommand& command);
    Answer execute(const ReceivedCommand& command, VehicleSide* vehicle);
    Answer close_all();
    Answer open_channel(const std::vector<std::uint32_t>& fields);
    Answer close_channel(std::uint32_t channel);
    Answer transmit(const std::vector<std::uint32_t>& fields, const std::vector<std::uint8_t>& payload);
    Answer transmit_segmented(Transmission sent, bool loopback);
    // Whether the channel is still open as it was at `opening` (see openings_).
    bool still_open(std::uint8_t channel, std::uint32_t opening) const;
    std::shared_ptr<VehicleSide> vehicle_side() const;
    Answer install_filter(const std::vector<std::uint32_t>& fields, const std::vector<std::uint8_t>& payload);
    Answer set_config(const std::vector<std::uint32_t>& fields);
    Answer read_analog(std::uint32_t pin);
    Answer fast_init(std::uint32_t channel, const std::vector<std::uint8_t>& request, VehicleSide* vehicle);
    Delivery push_traffic(std::uint8_t channel, std::span<const std::uint8_t> message, const Bytes& frames);

    // Null with `error` set to the answer text when the channel is out of range or not open.
    CableChannel* find_open_locked(std::uint32_t channel, std::string_view& error);

    std::mutex input_mutex_;  // commands are handled one at a time, in arrival order
    CommandStream stream_;

    mutable std::mutex state_mutex_;
    std::array<std::optional<CableChannel>, channel_digits> channels_;  // by channel digit
    std::uint32_t next_filter_id_ = 1;
    std::string identity_{default_identity};
    std::uint32_t battery_millivolts_ = default_battery_millivolts;
    std::vector<std::uint8_t> fast_init_response_{default_fast_init_response.begin(), default_fast_init_response.end()};
    ReplyScript script_;
    Bytes next_reply_prefix_;
    std::vector<ReceivedCommand> commands_;
    std::vector<std::uint64_t> command_times_;
    // Counts every opening and closing of each channel, so that work finishing later knows
    // whether its channel went away meanwhile.
    std::array<std::uint32_t, channel_digits> openings_{};
    // When each channel's bus is free of the messages of several frames already sent.
    std::array<CableTimeline::Clock::time_point, channel_digits> bus_free_at_{};
    std::shared_ptr<VehicleSide> vehicle_;
    bool filtering_ = false;
    std::size_t output_limit_ = default_output_limit;

    std::mutex traffic_mutex_;
    std::unique_ptr<TrafficSource> traffic_;

    CableOutput output_;
    CableClock clock_;
    std::atomic<std::uint64_t> dropped_{0};
    // Last: its work uses everything above, so it goes first.
    CableTimeline timeline_;
};

// The default simulated cable.
std::unique_ptr<CableLink> make_cable_firmware();

}  // namespace vexo::sim
