// kline: ISO14230 fast initialisation and one request.
#include <array>

#include "commands.h"
#include "diag_exchange.h"
#include "hex_text.h"
#include "kline_frame.h"
#include "obd_decode.h"

namespace vexo::tools {

namespace {

constexpr std::uint32_t kKlineBaud = 10400;

}  // namespace

Result<int> run_kline(const CommandContext& context) {
    const Options& options = context.options;
    auto session = open_session(context);
    if (!session) return std::unexpected(session.error());
    if (auto connected = session->connect(ISO14230, 0, kKlineBaud); !connected) {
        return std::unexpected(connected.error());
    }
    // Without a pass filter a J2534 channel delivers nothing; this one lets every frame through.
    const std::array<std::uint8_t, 1> all = {0x00};
    if (auto filter = session->start_filter(PASS_FILTER, all, all, std::nullopt, 0); !filter) {
        return std::unexpected(filter.error());
    }

    const std::array<std::uint8_t, 1> start_communication = {kStartCommunication};
    const auto init_request = kline_request(kKlineFunctionalTarget, kKlineTester, start_communication);
    const auto init_response = session->fast_init(init_request);
    if (!init_response) return std::unexpected(init_response.error());
    const auto keys = start_communication_key_bytes(*init_response);
    if (!keys) return tool_failure("no StartCommunication answer after fast init: '" + hex_bytes(*init_response) + "'");
    if (auto cleared = session->clear_rx_buffer(); !cleared) return std::unexpected(cleared.error());

    const auto request = kline_request(kKlineFunctionalTarget, kKlineTester, options.request);
    if (auto written = session->write(request, 0, options.timeout_ms); !written) {
        return std::unexpected(written.error());
    }
    const PayloadOf payload_of = [](const ReceivedMessage& message) -> std::optional<std::vector<std::uint8_t>> {
        if (auto payload = kline_payload(message.data)) return payload;
        return message.data;
    };
    const std::size_t echo = options.request[0] == 0x01 || options.request[0] == 0x09 ? 1 : 0;
    const auto answer = await_answer(*session, options.request, echo, options.timeout_ms, payload_of, "the ECU");
    if (!answer) return std::unexpected(answer.error());
    if (auto closed = finish(*session); !closed) return std::unexpected(closed.error());

    const bool negative = (*answer)[0] == kNegativeResponse;
    const std::uint8_t nrc = negative && answer->size() >= 3 ? (*answer)[2] : 0;
    if (options.json) {
        JsonWriter json = begin_json_report(Command::Kline, !negative);
        json.key("init_request").string(hex_bytes(init_request));
        json.key("init_response").string(hex_bytes(*init_response));
        json.key("key_bytes").string(hex_bytes(*keys));
        json.key("request").string(hex_bytes(request));
        json.key("response").string(hex_bytes(*answer));
        json.key("positive").boolean(!negative);
        if (negative) {
            json.key("nrc").string(hex_u32(nrc, 2));
            json.key("nrc_name").string(nrc_name(nrc));
        }
        json.end_object();
        print_out(json.text() + "\n");
    } else {
        std::string text = "key bytes: " + hex_bytes(*keys) + "\n" + "request:   " + hex_bytes(request) + "\n" +
                           "response:  " + hex_bytes(*answer);
        if (negative) text += "  negative response: " + std::string(nrc_name(nrc)) + " (0x" + hex_u32(nrc, 2) + ")";
        print_out(text + "\n");
    }
    return negative ? kExitNegativeResponse : kExitOk;
}

}  // namespace vexo::tools
