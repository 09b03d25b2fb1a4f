// uds: a diagnostic session over ISO15765, one or more requests on one open channel.
#include <chrono>
#include <fstream>
#include <iostream>

#include "commands.h"
#include "diag_exchange.h"
#include "hex_text.h"
#include "keep_alive.h"
#include "key_command.h"
#include "obd_decode.h"
#include "uds_requests.h"

namespace vexo::tools {

namespace {

constexpr std::uint8_t kSecurityAccess = 0x27;

struct UdsRun {
    const Options& options;
    Session& session;
    const IsoTpLink& link;
    KeepAlive& keep_alive;
    bool show_requests;  // a session of several requests shows what each answer answers
};

void show_exchange(const UdsRun& run, const Request& request, const std::vector<std::uint8_t>& answer,
                   long long ms) {
    const int digits = run.link.extended ? 8 : 3;
    const bool negative = answer[0] == kNegativeResponse;
    const std::uint8_t nrc = negative && answer.size() >= 3 ? answer[2] : 0;
    const std::string ascii = printable_text(answer);
    if (run.options.json) {
        JsonWriter json = begin_json_report(Command::Uds, !negative);
        json.key("tx").string(hex_u32(run.link.request_id, digits));
        json.key("rx").string(hex_u32(run.link.response_id, digits));
        json.key("request").string(hex_bytes(request));
        json.key("response").string(hex_bytes(answer));
        json.key("positive").boolean(!negative);
        if (negative) {
            json.key("nrc").string(hex_u32(nrc, 2));
            json.key("nrc_name").string(nrc_name(nrc));
        }
        if (!ascii.empty()) json.key("ascii").string(ascii);
        json.key("ms").number(ms);
        json.end_object();
        print_out(json.text() + "\n");
        return;
    }
    std::string text;
    if (run.show_requests) text += hex_u32(run.link.request_id, digits) + "  " + hex_bytes(request) + "\n";
    text += hex_u32(run.link.response_id, digits) + "  " + hex_bytes(answer);
    if (negative) text += "  negative response: " + std::string(nrc_name(nrc)) + " (0x" + hex_u32(nrc, 2) + ")";
    if (!ascii.empty()) text += "  '" + ascii + "'";
    print_out(text + "  " + std::to_string(ms) + " ms\n");
}

// Sends one request and shows its answer; returns whether the answer was negative. A seed from
// security access is answered at once with the key from --key-cmd.
Result<bool> exchange(const UdsRun& run, const Request& request) {
    std::vector<std::uint8_t> answer;
    long long ms = 0;
    {
        const auto guard = run.keep_alive.lock();
        const auto start = std::chrono::steady_clock::now();
        auto received = iso15765_request(run.session, run.link, request, 0, run.options.timeout_ms);
        run.keep_alive.touch();
        if (!received) return std::unexpected(received.error());
        answer = std::move(*received);
        ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
    }
    show_exchange(run, request, answer, ms);
    const bool negative = answer[0] == kNegativeResponse;
    const bool seed_request = request.size() == 2 && request[0] == kSecurityAccess && (request[1] & 1) != 0;
    if (negative || !seed_request || !run.options.key_command || answer.size() <= 2) return negative;
    const std::span<const std::uint8_t> seed = std::span(answer).subspan(2);
    // An all-zero seed means the level is unlocked already: there is nothing to answer.
    if (std::all_of(seed.begin(), seed.end(), [](std::uint8_t b) { return b == 0; })) return false;
    const auto key = key_from_command(*run.options.key_command, seed);
    if (!key) return std::unexpected(key.error());
    Request send_key = {kSecurityAccess, static_cast<std::uint8_t>(request[1] + 1)};
    send_key.insert(send_key.end(), key->begin(), key->end());
    return exchange(run, send_key);
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
        const auto negative = exchange(run, **request);
        if (!negative || *negative) return negative;
    }
    return false;
}

}  // namespace

Result<int> run_uds(const CommandContext& context) {
    const Options& options = context.options;
    std::ifstream script_file;
    if (options.uds_script && *options.uds_script != "-") {
        script_file.open(*options.uds_script);
        if (!script_file) return usage_failure("--script: cannot read '" + *options.uds_script + "'");
    }
    auto session = open_session(context);
    if (!session) return std::unexpected(session.error());
    const IsoTpLink link = iso_tp_link(options);
    if (auto connected = connect_iso15765(*session, link, options.baud); !connected) {
        return std::unexpected(connected.error());
    }
    bool negative = false;
    {
        KeepAlive keep_alive(*session, link, options.keepalive_ms);
        const UdsRun run{options, *session, link, keep_alive,
                         options.uds_requests.size() > 1 || options.uds_script.has_value() ||
                             options.key_command.has_value()};
        for (const Request& request : options.uds_requests) {
            const auto answered = exchange(run, request);
            if (!answered) return std::unexpected(answered.error());
            negative = *answered;
            if (negative) break;
        }
        if (!negative && options.uds_script) {
            const auto answered = run_script(run, *options.uds_script == "-" ? std::cin : script_file);
            if (!answered) return std::unexpected(answered.error());
            negative = *answered;
        }
    }
    if (auto closed = finish(*session); !closed) return std::unexpected(closed.error());
    // A refusal ends the session: what follows it in a script usually depends on it.
    return negative ? kExitNegativeResponse : kExitOk;
}

}  // namespace vexo::tools
