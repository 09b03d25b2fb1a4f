#pragma once

#include <cstdint>
#include <expected>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "hex_text.h"
#include "library_location.h"

// vexo's command line: its commands and options, each declared once (command_line.cpp), which gives
// the parsing, the usage errors, `vexo CMD --help` and the man page.
namespace vexo::tools {

enum class Command { None, Info, Vin, Obd, Dtc, Uds, Monitor, Kline, Register, Unregister };

enum class MonitorProtocol { Can, Iso15765 };
enum class MonitorFormat { Table, Candump };
// What the time column of the table counts: the cable's clock, the wall clock, or from the frame before.
enum class MonitorTime { Cable, Absolute, Delta };
// What --log does to a file that exists: refuse it, add to it (--append) or replace it (--force).
enum class LogMode { New, Append, Replace };

// A pass filter: IDs that equal `id` under `mask`, 29-bit ones when `extended`.
struct CanFilter {
    std::uint32_t id;
    std::uint32_t mask;
    bool extended;
    bool operator==(const CanFilter&) const = default;
};

inline constexpr std::uint32_t kObdRequestId = 0x7E0;
inline constexpr std::uint32_t kObdResponseId = 0x7E8;
inline constexpr std::uint32_t kObdFunctionalId = 0x7DF;

// --log and --script: "-" is standard output or input.
inline constexpr std::string_view kStandardStream = "-";

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
    bool ids_29bit = false;   // --tx or --rx written as a 29-bit ID
    bool functional = false;  // --functional, or --tx naming a functional ID
    bool rx_given = false;    // --rx: only that ID is listened to, even for a functional request
    bool bus_given = false;   // --baud, --tx or --rx: no other CAN set-up is tried when nothing answers

    bool watch = false;
    bool clear = false;
    bool yes = false;

    std::vector<std::uint8_t> request = {0x01, 0x00};  // kline --request

    // uds: the requests of the command line, then those of the script ("-" is standard input).
    std::vector<std::vector<std::uint8_t>> uds_requests;
    std::optional<std::string> uds_script;
    std::uint32_t keepalive_ms = 2000;  // 0: no tester present
    std::optional<std::string> key_command;

    MonitorProtocol monitor_protocol = MonitorProtocol::Can;
    std::vector<CanFilter> filters;  // none: every ID
    bool can_29bit = false;          // --29bit, or a 29-bit filter: the channel takes 29-bit frames
    std::optional<std::uint32_t> count;
    std::optional<std::uint32_t> duration_s;
    MonitorFormat monitor_format = MonitorFormat::Table;
    MonitorTime monitor_time = MonitorTime::Cable;
    std::optional<std::filesystem::path> log_file;  // candump's log format, beside the screen's view
    LogMode log_mode = LogMode::New;
};

// IDs above 0x7FF only fit a 29-bit CAN identifier.
inline bool needs_29bit(std::uint32_t id) { return id > kMax11BitId; }

std::string_view command_name(Command command);

// A command line that cannot be: what is wrong, and the command it named (whose help the user is
// pointed at; Command::None for vexo's own).
struct UsageError {
    std::string text;
    Command command = Command::None;
};

// `args` excludes the program name.
std::expected<Options, UsageError> parse_command_line(std::span<const std::string_view> args);

// `vexo --help` for Command::None, `vexo CMD --help` otherwise.
std::string help_text(Command command);

// The man page: `page` (packaging/vexo.1.in as configured) with its line kManPageCommands replaced
// by the commands, their options, vexo's own options and the exit status.
inline constexpr std::string_view kManPageCommands = ".\\\" the commands and options, from vexo's declarations";
std::string man_page(std::string_view page);

}  // namespace vexo::tools
