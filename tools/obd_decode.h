#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

// Decoders for what OBD-II and UDS control units answer. Payloads start at the response's service byte
// (0x41, 0x43, 0x49, 0x7F...), without CAN ID or K-line header.
namespace vexo::tools {

// One of the mode 01 parameters the client shows.
struct PidInfo {
    std::uint8_t pid;
    std::string_view key;   // JSON field name
    std::string_view name;  // for people
    std::string_view unit;
    std::size_t data_bytes;
    int decimals;
};

// The parameters `obd` reads, in display order: 0C, 0D, 05, 0F, 11, 2F, 42.
std::span<const PidInfo> common_pids();
const PidInfo* find_pid(std::uint8_t pid);
// `data` are the bytes after "41 PID"; nullopt for an unknown PID or too few bytes.
std::optional<double> decode_pid(std::uint8_t pid, std::span<const std::uint8_t> data);

// The PIDs a "41 base A B C D" bitmap marks supported: the top bit of A is base+1, the low bit of D base+0x20.
std::vector<std::uint8_t> supported_pids(std::uint8_t base, std::span<const std::uint8_t> bitmap);

// Fixed-point text with the given number of decimals, rounded half away from zero: (83.0, 0) -> "83".
std::string format_fixed(double value, int decimals);
// Millivolts as volts with two decimals: 12345 -> "12.35".
std::string format_volts(std::uint32_t millivolts);

// Two DTC bytes as a code: 01 33 -> "P0133", 41 23 -> "C0123", 81 23 -> "B0123", C1 23 -> "U0123".
std::string decode_dtc(std::uint8_t high, std::uint8_t low);
// A mode 03 answer "43 [count] A B ..." (or 47 for pending codes, 4A for permanent ones) to its codes, empty slots (00 00) left out. Over CAN the count
// byte is present and the length odd; K-line answers carry pairs only. nullopt when not a 43 answer.
std::optional<std::vector<std::string>> decode_dtc_response(std::span<const std::uint8_t> payload);

// A mode 09 PID 02 answer "49 02 [count] <17 characters>" to the VIN; characters outside printable ASCII
// become '?'. nullopt when not a 49 02 answer or fewer than 17 characters follow.
std::optional<std::string> decode_vin(std::span<const std::uint8_t> payload);

// The ISO 14229 name of a negative response code: 0x31 -> "requestOutOfRange".
std::string_view nrc_name(std::uint8_t nrc);
inline constexpr std::uint8_t kNrcResponsePending = 0x78;
inline constexpr std::uint8_t kNegativeResponse = 0x7F;

// How a received payload relates to `request`. A positive answer carries the service byte plus 0x40 and
// repeats the first `echo_length` parameter bytes (the PID of mode 01 and 09, the DID of 22); a negative
// one is 7F, the service byte and the code, where code 78 only asks to wait longer.
enum class ResponseKind { Unrelated, Positive, Negative, Pending };
ResponseKind classify_response(std::span<const std::uint8_t> request, std::size_t echo_length,
                               std::span<const std::uint8_t> payload);

// Mode 01 PIDs that describe the OBD system rather than the engine: 01 (MIL, code count, readiness of
// each monitor) and 1C (which OBD standard the vehicle meets).
struct MonitorReadiness {
    std::string_view name;
    bool complete;
};

struct MonitorStatus {
    bool mil_on;
    unsigned dtc_count;
    bool compression_ignition;
    std::vector<MonitorReadiness> monitors;  // those the vehicle has, in bit order
};

// `data` are the four bytes after "41 01"; nullopt when fewer.
std::optional<MonitorStatus> decode_monitor_status(std::span<const std::uint8_t> data);

// PID 1C's value by name: 0x03 -> "OBD and OBD-II"; "" for a value this list lacks.
std::string_view obd_standard_name(std::uint8_t value);

}  // namespace vexo::tools
