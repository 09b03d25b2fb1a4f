// uds: a diagnostic session over ISO15765, one or more requests on one open channel.
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <fstream>
#include <iostream>
#include <system_error>

#include "commands.h"
#include "console.h"
#include "core/text_format.h"
#include "keep_alive.h"
#include "obd_bus.h"
#include "obd_decode.h"
#include "uds_requests.h"

namespace vexo::tools {

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::uint8_t kSecurityAccess = 0x27;

struct UdsRun {
    const Options& options;
    ObdBus& bus;
    KeepAlive& keep_alive;
    bool show_requests;  // a session of several requests shows what each answer answers
};

long long ms_between(Clock::time_point start, Clock::time_point end) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(end - start).count();
}

// One line or object per answer; a request that wanted none and got none says so.
void show_exchange(const UdsRun& run, const Request& request, const std::vector<EcuAnswer>& answers,
                   Clock::time_point start) {
    const ObdBus& bus = run.bus;
    const std::string tx = bus.label(bus.request_id());
    // Silence is the answer of every ECU asked: it is told from the line of the one ECU, or of the request.
    const std::string silent = bus.every_ecu() ? tx : bus.label(bus.ecus().front());
    if (run.options.json) {
        for (const EcuAnswer& answer : answers) {
            const bool negative = answer.payload[0] == kNegativeResponse;
            const std::uint8_t nrc = negative && answer.payload.size() >= 3 ? answer.payload[2] : 0;
            const std::string ascii = printable_text(answer.payload);
            Json json = json_report(Command::Uds, !negative);
            json["tx"] = tx;
            json["rx"] = bus.label(answer.ecu);
            json["request"] = text::byte_list(request);
            json["response"] = text::byte_list(answer.payload);
            json["positive"] = !negative;
            if (negative) {
                json["nrc"] = text::hex_byte(nrc);
                json["nrc_name"] = nrc_name(nrc);
            }
            if (!ascii.empty()) json["ascii"] = ascii;
            json["ms"] = ms_between(start, answer.at);
            print_json(json);
        }
        if (answers.empty()) {
            Json json = json_report(Command::Uds);
            json["tx"] = tx;
            json["rx"] = bus.every_ecu() ? Json(nullptr) : Json(silent);
            json["request"] = text::byte_list(request);
            json["response"] = nullptr;
            json["suppressed"] = true;
            json["ms"] = ms_between(start, Clock::now());
            print_json(json);
        }
        return;
    }
    std::string text;
    if (run.show_requests) text += tx + "  " + text::byte_list(request) + "\n";
    for (const EcuAnswer& answer : answers) {
        const bool negative = answer.payload[0] == kNegativeResponse;
        const std::uint8_t nrc = negative && answer.payload.size() >= 3 ? answer.payload[2] : 0;
        const std::string ascii = printable_text(answer.payload);
        text += bus.label(answer.ecu) + "  " + text::byte_list(answer.payload);
        if (negative) text += "  negative response: " + std::string(nrc_name(nrc)) + " (0x" + text::hex_byte(nrc) + ")";
        if (!ascii.empty()) text += "  '" + ascii + "'";
        text += "  " + std::to_string(ms_between(start, answer.at)) + " ms\n";
    }
    if (answers.empty()) {
        text += silent + "  no answer, as the suppress-positive-response bit asks  " +
                std::to_string(ms_between(start, Clock::now())) + " ms\n";
    }
    print_out(text);
}

// Sends one request and shows its answers; returns whether one was negative. A seed from security
// access is answered at once with the key from --key-cmd.
Result<bool> send_request(const UdsRun& run, const Request& request) {
    std::vector<EcuAnswer> answers;
    Clock::time_point start;
    {
        const auto guard = run.keep_alive.lock();
        start = Clock::now();
        auto received = run.bus.request(request, 0);
        run.keep_alive.touch();
        if (!received) return std::unexpected(received.error());
        answers = std::move(*received);
    }
    // Asked for no positive answer, the ECU rightly stays silent; a refusal it still sends.
    if (answers.empty() && !suppresses_positive_response(request)) return std::unexpected(run.bus.no_answer(request));
    show_exchange(run, request, answers, start);
    if (auto written = output_status(); !written) return std::unexpected(written.error());
    const auto negative = [](const EcuAnswer& a) { return a.payload[0] == kNegativeResponse; };
    if (std::any_of(answers.begin(), answers.end(), negative)) return true;

    const bool seed_request = request.size() == 2 && request[0] == kSecurityAccess && (request[1] & 1) != 0;
    if (!seed_request || !run.options.key_command || answers.empty() || answers.front().payload.size() <= 2) {
        return false;
    }
    const std::span<const std::uint8_t> seed = std::span(answers.front().payload).subspan(2);
    // An all-zero seed means the level is unlocked already: there is nothing to answer.
    if (std::all_of(seed.begin(), seed.end(), [](std::uint8_t b) { return b == 0; })) return false;
    const auto key = key_from_command(*run.options.key_command, seed);
    if (!key) return std::unexpected(key.error());
    Request send_key = {kSecurityAccess, static_cast<std::uint8_t>(request[1] + 1)};
    send_key.insert(send_key.end(), key->begin(), key->end());
    return send_request(run, send_key);
}

// The script's requests, each sent as soon as its line is read: typed at a terminal, the session
// stays open (kept alive) while the user thinks.
Result<bool> run_script(const UdsRun& run, std::istream& input) {
    std::string line;
    std::size_t line_number = 0;
    while (std::getline(input, line)) {
        ++line_number;
        const auto request = request_from_line(line);
        if (!request) {
            auto failure = usage_failure("--script line " + std::to_string(line_number) + ": " + request.error());
            return std::unexpected(failure.error());
        }
        if (!*request) continue;
        const auto negative = send_request(run, **request);
        if (!negative || *negative) return negative;
    }
    // Ctrl-C ends a read of standard input as the end of the file would.
    if (interrupt_requested()) return interrupted_failure();
    return false;
}

}  // namespace

Result<int> run_uds(const CommandContext& context) {
    const Options& options = context.options;
    std::ifstream script_file;
    if (options.uds_script && *options.uds_script != kStandardStream) {
        errno = 0;
        script_file.open(*options.uds_script);
        if (!script_file) {
            return usage_failure("--script: cannot read '" + *options.uds_script +
                                 "': " + std::generic_category().message(errno != 0 ? errno : ENOENT));
        }
    }
    // What the user sends is what the user chose: no other set-up is tried behind it.
    auto bus = ObdBus::connect(context, false);
    if (!bus) return std::unexpected(bus.error());
    bool negative = false;
    {
        KeepAlive keep_alive(bus->session(), bus->request_id(), bus->setup().extended, options.keepalive_ms);
        const UdsRun run{
            options, *bus, keep_alive,
            options.uds_requests.size() > 1 || options.uds_script.has_value() || options.key_command.has_value()};
        for (const Request& request : options.uds_requests) {
            const auto answered = send_request(run, request);
            if (!answered) return std::unexpected(answered.error());
            negative = *answered;
            if (negative) break;
        }
        if (!negative && options.uds_script) {
            const auto answered = run_script(run, *options.uds_script == kStandardStream ? std::cin : script_file);
            if (!answered) return std::unexpected(answered.error());
            negative = *answered;
        }
    }
    if (auto closed = bus->finish(); !closed) return std::unexpected(closed.error());
    // A refusal ends the session: what follows it in a script usually depends on it.
    return negative ? kExitNegativeResponse : kExitOk;
}

}  // namespace vexo::tools
