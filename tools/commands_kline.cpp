// kline: ISO14230 fast initialisation and one request.
#include <array>

#include "commands.h"
#include "core/text_format.h"
#include "diag_exchange.h"
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
    if (!keys) {
        return tool_failure("no StartCommunication answer after fast init: '" + text::byte_list(*init_response) + "'");
    }
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
    const auto parts = await_parts(*session, options.request, echo, options.timeout_ms, payload_of, "the ECU");
    if (!parts) return std::unexpected(parts.error());
    if (auto closed = finish(*session); !closed) return std::unexpected(closed.error());

    const std::vector<std::uint8_t>& first = parts->front();
    const bool negative = first[0] == kNegativeResponse;
    const std::uint8_t nrc = negative && first.size() >= 3 ? first[2] : 0;
    if (options.json) {
        Json json = json_report(Command::Kline, !negative);
        json["init_request"] = text::byte_list(init_request);
        json["init_response"] = text::byte_list(*init_response);
        json["key_bytes"] = text::byte_list(*keys);
        json["request"] = text::byte_list(request);
        json["response"] = text::byte_list(first);
        json["responses"] = Json::array();
        for (const auto& part : *parts) json["responses"].push_back(text::byte_list(part));
        json["positive"] = !negative;
        if (negative) {
            json["nrc"] = text::hex_byte(nrc);
            json["nrc_name"] = nrc_name(nrc);
        }
        print_json(json);
    } else {
        std::string shown = "key bytes: " + text::byte_list(*keys) + "\nrequest:   " + text::byte_list(request);
        for (const auto& part : *parts) {
            shown += (&part == &first ? "\nresponse:  " : "\n           ") + text::byte_list(part);
        }
        if (negative)
            shown += "  negative response: " + std::string(nrc_name(nrc)) + " (0x" + text::hex_byte(nrc) + ")";
        print_out(shown + "\n");
    }
    return negative ? kExitNegativeResponse : kExitOk;
}

}  // namespace vexo::tools
