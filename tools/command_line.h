#pragma once

#include <cstdint>
#include <expected>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "abi.h"

namespace vexo::tools {

enum class Command { None, Info, Vin, Obd, Dtc, Uds, Monitor, Kline, Register, Unregister };

enum class MonitorProtocol { Can, Iso15765 };
enum class MonitorFormat { Table, Candump };
// What the time column of the table counts: the cable's clock, the wall clock, or from the frame before.
enum class MonitorTime { Cable, Absolute, Delta };

// A pass filter: IDs that equal `id` under `mask`.
struct CanFilter {
    std::uint32_t id;
    std::uint32_t mask;
    bool operator==(const CanFilter&) const = default;
};

inline constexpr std::uint32_t kObdRequestId = 0x7E0;
inline constexpr std::uint32_t kObdResponseId = 0x7E8;
inline constexpr std::uint32_t kObdFunctionalId = 0x7DF;

// Everything the command line asked for; defaults are the values used when an option is absent.
struct Options {
    Command command = Command::None;
    bool help = false;
    bool version = false;
    bool json = false;

    std::optional<std::filesystem::path> library;
    std::optional<Abi> abi;  // the library's layout; absent: from its file name (library_abi)
    bool sim = false;
    std::optional<std::filesystem::path> sim_library;
    std::optional<std::string> sim_vehicle;  // "demo" when absent
    std::uint32_t sim_cables = 1;            // 0 plays a machine with no cable plugged in

    std::optional<std::filesystem::path> trace_dir;
    bool no_trace = false;

    std::uint32_t timeout_ms = 1000;
    std::uint32_t baud = 500000;
    std::uint32_t tx_id = kObdRequestId;
    std::uint32_t rx_id = kObdResponseId;
    bool functional = false;
    bool rx_given = false;   // --rx: only that ID is listened to, even for a functional request
    bool bus_given = false;  // --baud, --tx or --rx: no other CAN set-up is tried when nothing answers

    bool watch = false;
    bool clear = false;
    bool yes = false;

    std::vector<std::uint8_t> request;  // kline --request

    // uds: the requests of the command line, then those of the script ("-" is standard input).
    std::vector<std::vector<std::uint8_t>> uds_requests;
    std::optional<std::string> uds_script;
    std::uint32_t keepalive_ms = 2000;  // 0: no tester present
    std::optional<std::string> key_command;

    MonitorProtocol monitor_protocol = MonitorProtocol::Can;
    std::vector<CanFilter> filters;  // none: every ID
    std::optional<std::uint32_t> count;
    std::optional<std::uint32_t> duration_s;
    MonitorFormat monitor_format = MonitorFormat::Table;
    MonitorTime monitor_time = MonitorTime::Cable;
    std::optional<std::filesystem::path> log_file;  // candump's log format, beside the screen's view
};

// IDs above 0x7FF only fit a 29-bit CAN identifier.
inline bool needs_29bit(std::uint32_t id) { return id > 0x7FF; }
// The mask of an ID given alone: that ID and no other.
inline std::uint32_t exact_mask(std::uint32_t id) { return needs_29bit(id) ? 0x1FFFFFFF : 0x7FF; }

std::string_view command_name(Command command);

// Outside this range no CAN controller the cable drives keeps time.
inline constexpr std::uint32_t kMinBaud = 10000;
inline constexpr std::uint32_t kMaxBaud = 1000000;

// The command a command line names, even one that fails to parse: its help is where a usage error points.
Command command_named_in(std::span<const std::string_view> args);

// `args` excludes the program name. A failure carries the message for the user, without a prefix.
std::expected<Options, std::string> parse_command_line(std::span<const std::string_view> args);

}  // namespace vexo::tools
