// vin, obd and dtc: OBD-II requests over ISO15765.
#include <algorithm>
#include <array>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <optional>
#include <thread>

#include "commands.h"
#include "console.h"
#include "diag_exchange.h"
#include "hex_text.h"
#include "obd_decode.h"
#include "obd_status.h"

namespace vexo::tools {

namespace {

struct ObdConnection {
    Session session;
    IsoTpLink link;
};

Result<ObdConnection> connect_obd(const CommandContext& context) {
    auto session = open_session(context);
    if (!session) return std::unexpected(session.error());
    const IsoTpLink link = iso_tp_link(context.options);
    if (auto connected = connect_iso15765(*session, link, context.options.baud); !connected) {
        return std::unexpected(connected.error());
    }
    return ObdConnection{std::move(*session), link};
}

std::string sender(const IsoTpLink& link) { return hex_u32(link.response_id, link.extended ? 8 : 3); }

// A negative answer where a positive one was needed.
ToolError refusal(const IsoTpLink& link, std::span<const std::uint8_t> request, std::span<const std::uint8_t> answer) {
    const std::uint8_t nrc = answer.size() >= 3 ? answer[2] : 0;
    return ToolError{.call = {},
                     .status = 0,
                     .text = sender(link) + " refused " + hex_bytes(request) + ": " + std::string(nrc_name(nrc)) +
                             " (" + hex_bytes(answer) + ")",
                     .hint = {},
                     .interrupted = false};
}

// Sends a request that must be answered positively.
Result<std::vector<std::uint8_t>> positive_request(ObdConnection& obd, std::span<const std::uint8_t> request,
                                                   std::size_t echo_length, std::uint32_t timeout_ms) {
    auto answer = iso15765_request(obd.session, obd.link, request, echo_length, timeout_ms);
    if (!answer) return answer;
    if ((*answer)[0] == kNegativeResponse) return std::unexpected(refusal(obd.link, request, *answer));
    return answer;
}

}  // namespace

Result<int> run_vin(const CommandContext& context) {
    auto obd = connect_obd(context);
    if (!obd) return std::unexpected(obd.error());
    const std::array<std::uint8_t, 2> request = {0x09, 0x02};
    const auto answer = positive_request(*obd, request, 1, context.options.timeout_ms);
    if (!answer) return std::unexpected(answer.error());
    const auto vin = decode_vin(*answer);
    if (!vin) return tool_failure("the answer holds no VIN: " + hex_bytes(*answer));
    if (auto closed = finish(obd->session); !closed) return std::unexpected(closed.error());

    if (context.options.json) {
        JsonWriter json = begin_json_report(Command::Vin);
        json.key("vin").string(*vin);
        json.key("ecu").string(sender(obd->link));
        json.key("response").string(hex_bytes(*answer));
        json.end_object();
        print_out(json.text() + "\n");
    } else {
        print_out(*vin + "\n");
    }
    return kExitOk;
}

namespace {

enum class ReadingStatus { Ok, NotSupported, NoAnswer, Refused };

struct Reading {
    const PidInfo* info;
    ReadingStatus status;
    double value;
};

std::string_view status_text(ReadingStatus status) {
    switch (status) {
        case ReadingStatus::Ok: return "ok";
        case ReadingStatus::NotSupported: return "not supported";
        case ReadingStatus::NoAnswer: return "no answer";
        case ReadingStatus::Refused: return "refused";
    }
    return "";
}

std::string status_key(ReadingStatus status) {
    std::string key(status_text(status));
    for (char& c : key) c = c == ' ' ? '_' : c;
    return key;
}

// Mode 01 PIDs 00, 20, 40 ... each say which of the next 32 exist, the last bit whether to ask on.
Result<std::vector<std::uint8_t>> query_supported_pids(ObdConnection& obd, std::uint32_t timeout_ms) {
    std::vector<std::uint8_t> supported;
    for (unsigned base = 0x00; base <= 0xE0; base += 0x20) {
        const std::array<std::uint8_t, 2> request = {0x01, static_cast<std::uint8_t>(base)};
        const auto answer = positive_request(obd, request, 1, timeout_ms);
        if (!answer) return std::unexpected(answer.error());
        if (answer->size() < 6)
            return tool_failure("short answer to 01 " + hex_u32(base, 2) + ": " + hex_bytes(*answer));
        const auto pids = supported_pids(static_cast<std::uint8_t>(base), std::span(*answer).subspan(2, 4));
        supported.insert(supported.end(), pids.begin(), pids.end());
        if (std::find(pids.begin(), pids.end(), static_cast<std::uint8_t>(base + 0x20)) == pids.end()) break;
    }
    return supported;
}

Result<std::vector<Reading>> read_common_pids(ObdConnection& obd, const std::vector<std::uint8_t>& supported,
                                              std::uint32_t timeout_ms) {
    std::vector<Reading> readings;
    for (const PidInfo& info : common_pids()) {
        if (std::find(supported.begin(), supported.end(), info.pid) == supported.end()) {
            readings.push_back({&info, ReadingStatus::NotSupported, 0});
            continue;
        }
        const std::array<std::uint8_t, 2> request = {0x01, info.pid};
        const auto answer = iso15765_request(obd.session, obd.link, request, 1, timeout_ms);
        if (!answer) {
            // A silent ECU costs this reading only; a failing library or Ctrl-C ends the command.
            if (!answer.error().call.empty() || answer.error().interrupted) return std::unexpected(answer.error());
            readings.push_back({&info, ReadingStatus::NoAnswer, 0});
            continue;
        }
        if ((*answer)[0] == kNegativeResponse) {
            readings.push_back({&info, ReadingStatus::Refused, 0});
            continue;
        }
        const auto value = decode_pid(info.pid, std::span(*answer).subspan(2));
        readings.push_back({&info, value ? ReadingStatus::Ok : ReadingStatus::NoAnswer, value.value_or(0)});
    }
    return readings;
}

// What PIDs 01 and 1C say about the OBD system; each stays empty when the ECU lacks it or stays silent.
struct SystemStatus {
    std::optional<MonitorStatus> monitors;
    std::optional<std::uint8_t> standard;
};

Result<SystemStatus> read_system_status(ObdConnection& obd, const std::vector<std::uint8_t>& supported,
                                        std::uint32_t timeout_ms) {
    SystemStatus status;
    for (const std::uint8_t pid : {std::uint8_t{0x01}, std::uint8_t{0x1C}}) {
        if (std::find(supported.begin(), supported.end(), pid) == supported.end()) continue;
        const std::array<std::uint8_t, 2> request = {0x01, pid};
        const auto answer = iso15765_request(obd.session, obd.link, request, 1, timeout_ms);
        if (!answer) {
            if (!answer.error().call.empty() || answer.error().interrupted) return std::unexpected(answer.error());
            continue;
        }
        if ((*answer)[0] == kNegativeResponse || answer->size() < 3) continue;
        const auto data = std::span(*answer).subspan(2);
        if (pid == 0x01) status.monitors = decode_monitor_status(data);
        if (pid == 0x1C) status.standard = data[0];
    }
    return status;
}

std::string system_status_text(const SystemStatus& status) {
    std::string text;
    if (status.monitors) {
        const MonitorStatus& m = *status.monitors;
        text += std::string("MIL: ") + (m.mil_on ? "on" : "off") + ", " + std::to_string(m.dtc_count) +
                " stored code" + (m.dtc_count == 1 ? "" : "s") + "\nreadiness:";
        for (const MonitorReadiness& r : m.monitors) {
            text += std::string(" ") + std::string(r.name) + (r.complete ? " complete" : " NOT complete") + ",";
        }
        if (text.back() == ',') text.pop_back();
        text += "\n";
    }
    if (status.standard) {
        const std::string_view name = obd_standard_name(*status.standard);
        text += "standard: " + (name.empty() ? "0x" + hex_u32(*status.standard, 2) : std::string(name)) + "\n";
    }
    return text;
}

void add_system_status(JsonWriter& json, const SystemStatus& status) {
    if (status.monitors) {
        const MonitorStatus& m = *status.monitors;
        json.key("mil").boolean(m.mil_on);
        json.key("dtc_count").unsigned_number(m.dtc_count);
        json.key("ignition").string(m.compression_ignition ? "compression" : "spark");
        json.key("monitors").begin_array();
        for (const MonitorReadiness& r : m.monitors) {
            json.begin_object();
            json.key("name").string(r.name);
            json.key("complete").boolean(r.complete);
            json.end_object();
        }
        json.end_array();
    }
    if (status.standard) {
        json.key("obd_standard").string(hex_u32(*status.standard, 2));
        json.key("obd_standard_name").string(obd_standard_name(*status.standard));
    }
}

std::string pid_list(const std::vector<std::uint8_t>& pids) {
    std::string text;
    for (const std::uint8_t pid : pids) {
        if (!text.empty()) text += ' ';
        text += hex_u32(pid, 2);
    }
    return text;
}

std::vector<std::string> reading_lines(const std::vector<Reading>& readings) {
    std::vector<std::string> lines;
    for (const Reading& r : readings) {
        std::string line = hex_u32(r.info->pid, 2) + "  " + std::string(r.info->name);
        line.resize(std::max<std::size_t>(line.size(), 28), ' ');
        if (r.status == ReadingStatus::Ok) {
            line += format_fixed(r.value, r.info->decimals) + " " + std::string(r.info->unit);
        } else {
            line += status_text(r.status);
        }
        lines.push_back(line);
    }
    return lines;
}

std::string readings_json(const std::vector<std::uint8_t>& supported, const SystemStatus& status,
                          const std::vector<Reading>& readings) {
    JsonWriter json = begin_json_report(Command::Obd);
    json.key("supported_pids").begin_array();
    for (const std::uint8_t pid : supported) json.string(hex_u32(pid, 2));
    json.end_array();
    add_system_status(json, status);
    json.key("readings").begin_array();
    for (const Reading& r : readings) {
        json.begin_object();
        json.key("pid").string(hex_u32(r.info->pid, 2));
        json.key("name").string(r.info->key);
        json.key("status").string(status_key(r.status));
        json.key("value");
        if (r.status == ReadingStatus::Ok)
            json.number_text(format_fixed(r.value, r.info->decimals));
        else
            json.null();
        json.key("unit").string(r.info->unit);
        json.end_object();
    }
    json.end_array();
    json.end_object();
    return json.text() + "\n";
}

// Waits between refreshes, in short steps so Ctrl-C is not kept waiting.
void pause_between_rounds() {
    for (int i = 0; i < 10 && !interrupt_requested(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(50));
}

}  // namespace

Result<int> run_obd(const CommandContext& context) {
    const Options& options = context.options;
    auto obd = connect_obd(context);
    if (!obd) return std::unexpected(obd.error());
    const auto supported = query_supported_pids(*obd, options.timeout_ms);
    if (!supported) return std::unexpected(supported.error());

    const bool in_place = options.watch && !options.json && stdout_is_terminal();
    const auto status = read_system_status(*obd, *supported, options.timeout_ms);
    if (!status) return std::unexpected(status.error());
    if (!options.json) print_out("supported PIDs: " + pid_list(*supported) + "\n" + system_status_text(*status));
    std::size_t shown_lines = 0;
    do {
        const auto readings = read_common_pids(*obd, *supported, options.timeout_ms);
        if (!readings) {
            if (options.watch && readings.error().interrupted) break;
            return std::unexpected(readings.error());
        }
        if (options.json) {
            print_out(readings_json(*supported, *status, *readings));
        } else {
            std::string block;
            // Back to the first line of the previous block, so the values refresh in place.
            if (in_place && shown_lines != 0) block += "\x1b[" + std::to_string(shown_lines) + "A";
            const auto lines = reading_lines(*readings);
            for (const std::string& line : lines) block += (in_place ? "\x1b[2K" : "") + line + "\n";
            if (options.watch && !in_place) block += "\n";
            shown_lines = lines.size();
            print_out(block);
        }
        if (options.watch) pause_between_rounds();
    } while (options.watch && !interrupt_requested());

    const bool interrupted = interrupt_requested();
    if (auto closed = finish(obd->session); !closed) return std::unexpected(closed.error());
    return interrupted ? kExitInterrupted : kExitOk;
}

namespace {

bool confirmed_by_user() {
    print_err("Clear all stored trouble codes and freeze-frame data in the vehicle? [y/N] ");
    std::array<char, 64> answer{};
    if (std::fgets(answer.data(), static_cast<int>(answer.size()), stdin) == nullptr) {
        print_err("\n");
        return false;
    }
    std::string text(answer.data());
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ')) text.pop_back();
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text == "y" || text == "yes";
}

struct StoredCodes {
    std::vector<std::string> codes;
    std::vector<std::uint8_t> response;
};

Result<StoredCodes> read_stored_codes(ObdConnection& obd, std::uint32_t timeout_ms) {
    const std::array<std::uint8_t, 1> request = {0x03};
    auto answer = positive_request(obd, request, 0, timeout_ms);
    if (!answer) return std::unexpected(answer.error());
    auto codes = decode_dtc_response(*answer);
    if (!codes) return tool_failure("unexpected answer to 03: " + hex_bytes(*answer));
    return StoredCodes{std::move(*codes), std::move(*answer)};
}

// Pending (07) and permanent (0A) codes: an ECU that lacks the mode refuses it or stays silent, and
// then there is nothing to show.
Result<std::optional<std::vector<std::string>>> read_other_codes(ObdConnection& obd, std::uint8_t mode,
                                                                 std::uint32_t timeout_ms) {
    const std::array<std::uint8_t, 1> request = {mode};
    const auto answer = iso15765_request(obd.session, obd.link, request, 0, timeout_ms);
    if (!answer) {
        if (!answer.error().call.empty() || answer.error().interrupted) return std::unexpected(answer.error());
        return std::optional<std::vector<std::string>>{};
    }
    return decode_dtc_response(*answer);
}

std::string codes_text(const std::vector<std::string>& codes, std::string_view kind = "stored") {
    if (codes.empty()) return "no " + std::string(kind) + " trouble codes";
    std::string text = std::to_string(codes.size()) + " " + std::string(kind) + " trouble code" +
                       (codes.size() == 1 ? "" : "s") + ":";
    for (const std::string& code : codes) text += " " + code;
    return text;
}

void add_codes(JsonWriter& json, std::string_view key, const std::vector<std::string>& codes) {
    json.key(key).begin_array();
    for (const std::string& code : codes) json.string(code);
    json.end_array();
}

}  // namespace

Result<int> run_dtc(const CommandContext& context) {
    const Options& options = context.options;
    auto obd = connect_obd(context);
    if (!obd) return std::unexpected(obd.error());
    const auto stored = read_stored_codes(*obd, options.timeout_ms);
    if (!stored) return std::unexpected(stored.error());
    if (!options.json) print_out(codes_text(stored->codes) + "\n");
    const auto pending = read_other_codes(*obd, 0x07, options.timeout_ms);
    if (!pending) return std::unexpected(pending.error());
    const auto permanent = read_other_codes(*obd, 0x0A, options.timeout_ms);
    if (!permanent) return std::unexpected(permanent.error());
    if (!options.json) {
        if (*pending) print_out(codes_text(**pending, "pending") + "\n");
        if (*permanent) print_out(codes_text(**permanent, "permanent") + "\n");
    }

    // Read back after clearing: a fault still present sets its code again, and the user should see it.
    std::optional<StoredCodes> remaining;
    if (options.clear) {
        if (!options.yes && !confirmed_by_user()) {
            if (interrupt_requested()) return interrupted_failure();
            return tool_failure("not confirmed; nothing was cleared");
        }
        const std::array<std::uint8_t, 1> clear_request = {0x04};
        const auto cleared_answer = positive_request(*obd, clear_request, 0, options.timeout_ms);
        if (!cleared_answer) return std::unexpected(cleared_answer.error());
        if (!options.json) print_out("trouble codes cleared\n");
        auto after = read_stored_codes(*obd, options.timeout_ms);
        if (!after) return std::unexpected(after.error());
        if (!options.json) print_out("after clearing: " + codes_text(after->codes) + "\n");
        remaining = std::move(*after);
    }
    if (auto closed = finish(obd->session); !closed) return std::unexpected(closed.error());

    if (options.json) {
        JsonWriter json = begin_json_report(Command::Dtc);
        add_codes(json, "codes", stored->codes);
        json.key("response").string(hex_bytes(stored->response));
        if (*pending) add_codes(json, "pending_codes", **pending);
        if (*permanent) add_codes(json, "permanent_codes", **permanent);
        if (remaining) {
            json.key("cleared").boolean(true);
            add_codes(json, "codes_after_clear", remaining->codes);
        }
        json.end_object();
        print_out(json.text() + "\n");
    }
    return kExitOk;
}

}  // namespace vexo::tools
