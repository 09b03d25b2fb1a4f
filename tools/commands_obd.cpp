// obd: supported PIDs, MIL and readiness, the freeze frame and live data, from one ECU or every ECU.
#include <algorithm>
#include <array>
#include <chrono>
#include <optional>
#include <thread>

#include "commands.h"
#include "console.h"
#include "core/text_format.h"
#include "obd_bus.h"
#include "obd_decode.h"

namespace vexo::tools {

namespace {

constexpr std::uint8_t kCurrentData = 0x01;
constexpr std::uint8_t kFreezeFrame = 0x02;
constexpr std::uint8_t kFrameNumber = 0x00;  // the one frame every OBD ECU keeps

enum class ReadingStatus { Ok, NotSupported, NoAnswer, Refused };

struct Reading {
    const PidInfo* info;
    ReadingStatus status;
    double value;
};

// What PIDs 01 and 1C say about the OBD system; each stays empty when the ECU lacks it or stays silent.
struct SystemStatus {
    std::optional<MonitorStatus> monitors;
    std::optional<std::uint8_t> standard;
};

struct FreezeFrame {
    bool answered = false;           // the ECU answers mode 02
    std::optional<std::string> dtc;  // the code that stored it; none when no frame is stored
    std::vector<std::uint8_t> pids;
    std::vector<Reading> readings;
};

struct EcuData {
    std::uint32_t ecu;
    std::vector<std::uint8_t> supported{};
    SystemStatus status{};
    FreezeFrame freeze_frame{};
    std::vector<Reading> readings{};
};

bool has(const std::vector<std::uint8_t>& pids, std::uint8_t pid) {
    return std::find(pids.begin(), pids.end(), pid) != pids.end();
}

// Mode 01 wants "01 PID", mode 02 "02 PID frame"; the answer's data start after as many bytes plus one.
std::vector<std::uint8_t> pid_request(std::uint8_t mode, std::uint8_t pid) {
    if (mode == kFreezeFrame) return {mode, pid, kFrameNumber};
    return {mode, pid};
}
std::size_t echo_of(std::uint8_t mode) { return mode == kFreezeFrame ? 2 : 1; }

// PIDs 00, 20, 40 ... each say which of the next 32 exist, the last bit whether to ask on. Each ECU is
// asked on for as long as it says so; `pids_of` picks where its list goes. Empty `asking` at first: all.
template <class PidsOf>
VoidResult query_supported_pids(ObdBus& bus, std::uint8_t mode, std::vector<EcuData>& ecus,
                                std::vector<std::uint32_t> asking, PidsOf pids_of) {
    for (unsigned base = 0x00; base <= 0xE0 && (base == 0x00 || !asking.empty()); base += 0x20) {
        const auto request = pid_request(mode, static_cast<std::uint8_t>(base));
        const auto answers = bus.request(request, echo_of(mode), asking);
        if (!answers) return std::unexpected(answers.error());
        if (answers->empty() && mode == kCurrentData) return std::unexpected(bus.no_answer(request));
        asking.clear();
        for (const EcuAnswer& answer : *answers) {
            if (answer.payload[0] == kNegativeResponse) {
                if (mode == kCurrentData && !bus.every_ecu())
                    return std::unexpected(refusal(bus, answer.ecu, request, answer.payload));
                continue;
            }
            const std::size_t at = request.size();
            if (answer.payload.size() < at + 4)
                return tool_failure("short answer to " + text::byte_list(request) + ": " +
                                    text::byte_list(answer.payload));
            if (mode == kCurrentData && report_of(ecus, answer.ecu) == nullptr) ecus.push_back({.ecu = answer.ecu});
            EcuData* data = report_of(ecus, answer.ecu);
            if (data == nullptr) continue;
            const auto pids = supported_pids(static_cast<std::uint8_t>(base), std::span(answer.payload).subspan(at, 4));
            std::vector<std::uint8_t>& list = pids_of(*data);
            list.insert(list.end(), pids.begin(), pids.end());
            if (has(pids, static_cast<std::uint8_t>(base + 0x20))) asking.push_back(answer.ecu);
        }
    }
    return {};
}

std::vector<std::uint32_t> supporting(const std::vector<EcuData>& ecus, std::uint8_t pid) {
    std::vector<std::uint32_t> found;
    for (const EcuData& data : ecus)
        if (has(data.supported, pid)) found.push_back(data.ecu);
    return found;
}

// The readings of the decoded PIDs from each ECU in `ecus` for which `pids_of` says it has them; a silent
// ECU costs this reading only.
template <class PidsOf, class ReadingsOf>
VoidResult read_pids(ObdBus& bus, std::uint8_t mode, std::vector<EcuData>& ecus, PidsOf pids_of,
                     ReadingsOf readings_of) {
    for (const PidInfo& info : common_pids()) {
        std::vector<std::uint32_t> asking;
        for (EcuData& data : ecus) {
            if (has(pids_of(data), info.pid))
                asking.push_back(data.ecu);
            else
                readings_of(data).push_back({&info, ReadingStatus::NotSupported, 0});
        }
        if (asking.empty()) continue;
        const auto request = pid_request(mode, info.pid);
        const auto answers = bus.request(request, echo_of(mode), asking);
        if (!answers) return std::unexpected(answers.error());
        for (const std::uint32_t ecu : asking) {
            const auto answer = std::find_if(answers->begin(), answers->end(),
                                             [ecu](const EcuAnswer& a) { return a.ecu == ecu; });
            Reading reading{&info, ReadingStatus::NoAnswer, 0};
            if (answer != answers->end() && answer->payload[0] == kNegativeResponse) {
                reading.status = ReadingStatus::Refused;
            } else if (answer != answers->end()) {
                const auto value = decode_pid(info.pid, std::span(answer->payload).subspan(request.size()));
                if (value) reading = {&info, ReadingStatus::Ok, *value};
            }
            readings_of(*report_of(ecus, ecu)).push_back(reading);
        }
    }
    return {};
}

VoidResult read_system_status(ObdBus& bus, std::vector<EcuData>& ecus) {
    for (const std::uint8_t pid : {std::uint8_t{0x01}, std::uint8_t{0x1C}}) {
        const auto asking = supporting(ecus, pid);
        if (asking.empty()) continue;
        const auto answers = bus.request(pid_request(kCurrentData, pid), 1, asking);
        if (!answers) return std::unexpected(answers.error());
        for (const EcuAnswer& answer : *answers) {
            if (answer.payload[0] == kNegativeResponse || answer.payload.size() < 3) continue;
            SystemStatus& status = report_of(ecus, answer.ecu)->status;
            const auto data = std::span(answer.payload).subspan(2);
            if (pid == 0x01) status.monitors = decode_monitor_status(data);
            if (pid == 0x1C) status.standard = data[0];
        }
    }
    return {};
}

// PID 02 of mode 02 names the code that stored the frame, 00 00 when none is stored; then the frame's own
// bitmaps say which of the decoded PIDs it holds.
VoidResult read_freeze_frames(ObdBus& bus, std::vector<EcuData>& ecus) {
    const auto request = pid_request(kFreezeFrame, 0x02);
    const auto answers = bus.request(request, 2, ecus_of(ecus));
    if (!answers) return std::unexpected(answers.error());
    std::vector<std::uint32_t> with_frame;
    for (const EcuAnswer& answer : *answers) {
        if (answer.payload[0] == kNegativeResponse || answer.payload.size() < 5) continue;
        FreezeFrame& frame = report_of(ecus, answer.ecu)->freeze_frame;
        frame.answered = true;
        if (answer.payload[3] == 0 && answer.payload[4] == 0) continue;
        frame.dtc = decode_dtc(answer.payload[3], answer.payload[4]);
        with_frame.push_back(answer.ecu);
    }
    if (with_frame.empty()) return {};
    const auto frame_pids = [](EcuData& data) -> std::vector<std::uint8_t>& { return data.freeze_frame.pids; };
    if (auto queried = query_supported_pids(bus, kFreezeFrame, ecus, with_frame, frame_pids); !queried)
        return queried;
    // ECUs without a frame hold none of its PIDs, so only those with one are asked.
    return read_pids(bus, kFreezeFrame, ecus, frame_pids,
                     [](EcuData& data) -> std::vector<Reading>& { return data.freeze_frame.readings; });
}

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

std::string pid_list(const std::vector<std::uint8_t>& pids) {
    std::string text;
    for (const std::uint8_t pid : pids) text += (text.empty() ? "" : " ") + text::hex_upper(pid, 2);
    return text;
}

std::vector<std::string> reading_lines(const std::vector<Reading>& readings, bool supported_only = false) {
    std::vector<std::string> lines;
    for (const Reading& r : readings) {
        if (supported_only && r.status == ReadingStatus::NotSupported) continue;
        std::string line = text::hex_upper(r.info->pid, 2) + "  " + std::string(r.info->name);
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

// What is shown once: supported PIDs, MIL and readiness, standard, freeze frame.
std::vector<std::string> overview_lines(const EcuData& data) {
    std::vector<std::string> lines{"supported PIDs: " + pid_list(data.supported)};
    if (data.status.monitors) {
        const MonitorStatus& m = *data.status.monitors;
        lines.push_back(std::string("MIL: ") + (m.mil_on ? "on" : "off") + ", " + std::to_string(m.dtc_count) +
                        " stored code" + (m.dtc_count == 1 ? "" : "s"));
        std::string readiness = "readiness:";
        for (const MonitorReadiness& r : m.monitors)
            readiness += std::string(" ") + std::string(r.name) + (r.complete ? " complete" : " NOT complete") + ",";
        if (readiness.back() == ',') readiness.pop_back();
        if (m.monitors.empty()) readiness += " no monitors";
        lines.push_back(readiness);
    }
    if (data.status.standard) {
        const std::string_view name = obd_standard_name(*data.status.standard);
        lines.push_back("standard: " +
                        (name.empty() ? "0x" + text::hex_upper(*data.status.standard, 2) : std::string(name)));
    }
    if (data.freeze_frame.answered) {
        if (!data.freeze_frame.dtc) {
            lines.push_back("freeze frame: none stored");
        } else {
            lines.push_back("freeze frame, stored by " + *data.freeze_frame.dtc + ":");
            for (const std::string& line : reading_lines(data.freeze_frame.readings, true))
                lines.push_back("  " + line);
        }
    }
    return lines;
}

void add_readings(Json& json, const std::vector<Reading>& readings) {
    Json& list = json["readings"] = Json::array();
    for (const Reading& r : readings) {
        Json reading;
        reading["pid"] = text::hex_byte(r.info->pid);
        reading["name"] = r.info->key;
        reading["status"] = status_key(r.status);
        reading["value"] =
            r.status == ReadingStatus::Ok ? json_decimal(format_fixed(r.value, r.info->decimals)) : nullptr;
        reading["unit"] = r.info->unit;
        list.push_back(std::move(reading));
    }
}

void add_ecu_data(Json& json, const EcuData& data) {
    Json& pids = json["supported_pids"] = Json::array();
    for (const std::uint8_t pid : data.supported) pids.push_back(text::hex_byte(pid));
    if (data.status.monitors) {
        const MonitorStatus& m = *data.status.monitors;
        json["mil"] = m.mil_on;
        json["dtc_count"] = m.dtc_count;
        json["ignition"] = m.compression_ignition ? "compression" : "spark";
        Json& monitors = json["monitors"] = Json::array();
        for (const MonitorReadiness& r : m.monitors) monitors.push_back({{"name", r.name}, {"complete", r.complete}});
    }
    if (data.status.standard) {
        json["obd_standard"] = text::hex_byte(*data.status.standard);
        json["obd_standard_name"] = obd_standard_name(*data.status.standard);
    }
    if (data.freeze_frame.answered) {
        Json& frame = json["freeze_frame"];
        if (data.freeze_frame.dtc) {
            frame["dtc"] = *data.freeze_frame.dtc;
            std::vector<Reading> held;
            for (const Reading& r : data.freeze_frame.readings)
                if (r.status != ReadingStatus::NotSupported) held.push_back(r);
            add_readings(frame, held);
        }
    }
    add_readings(json, data.readings);
}

// Waits between refreshes, in short steps so Ctrl-C is not kept waiting.
void pause_between_rounds() {
    for (int i = 0; i < 10 && !interrupt_requested(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(50));
}

}  // namespace

Result<int> run_obd(const CommandContext& context) {
    const Options& options = context.options;
    auto bus = ObdBus::connect(context);
    if (!bus) return std::unexpected(bus.error());
    std::vector<EcuData> ecus;
    const auto supported = [](EcuData& data) -> std::vector<std::uint8_t>& { return data.supported; };
    if (auto queried = query_supported_pids(*bus, kCurrentData, ecus, {}, supported); !queried)
        return std::unexpected(queried.error());
    if (auto read = read_system_status(*bus, ecus); !read) return std::unexpected(read.error());
    if (auto read = read_freeze_frames(*bus, ecus); !read) return std::unexpected(read.error());

    const bool in_place = options.watch && !options.json && stdout_is_terminal();
    if (!options.json) {
        std::string text;
        for (const EcuData& data : ecus)
            for (const std::string& line : overview_lines(data)) text += line_start(*bus, data.ecu) + line + "\n";
        print_out(text);
    }
    std::size_t shown_lines = 0;
    do {
        for (EcuData& data : ecus) data.readings.clear();
        const auto readings_of = [](EcuData& data) -> std::vector<Reading>& { return data.readings; };
        if (auto read = read_pids(*bus, kCurrentData, ecus, supported, readings_of); !read) {
            if (options.watch && read.error().interrupted) break;
            return std::unexpected(read.error());
        }
        if (options.json) {
            Json json = json_report(Command::Obd);
            bus->add_setup(json);
            add_ecu_reports(json, *bus, ecus, add_ecu_data);
            print_json(json);
        } else {
            std::string block;
            // Back to the first line of the previous block, so the values refresh in place.
            if (in_place && shown_lines != 0) block += "\x1b[" + std::to_string(shown_lines) + "A";
            shown_lines = 0;
            for (const EcuData& data : ecus) {
                // Asking every ECU, each shows what it has; one ECU shows what it lacks, too.
                for (const std::string& line : reading_lines(data.readings, bus->every_ecu())) {
                    block += (in_place ? "\x1b[2K" : "") + line_start(*bus, data.ecu) + line + "\n";
                    ++shown_lines;
                }
            }
            if (options.watch && !in_place) block += "\n";
            print_out(block);
        }
        if (options.watch) pause_between_rounds();
    } while (options.watch && !interrupt_requested() && output_status());

    const bool interrupted = interrupt_requested();
    if (auto closed = bus->finish(); !closed) return std::unexpected(closed.error());
    return interrupted ? kExitInterrupted : kExitOk;
}

}  // namespace vexo::tools
