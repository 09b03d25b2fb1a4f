// uds: one raw diagnostic request over ISO15765.
#include "commands.h"
#include "diag_exchange.h"
#include "hex_text.h"
#include "obd_decode.h"

namespace vexo::tools {

Result<int> run_uds(const CommandContext& context) {
    const Options& options = context.options;
    auto session = open_session(context);
    if (!session) return std::unexpected(session.error());
    const IsoTpLink link = iso_tp_link(options);
    if (auto connected = connect_iso15765(*session, link, options.baud); !connected) {
        return std::unexpected(connected.error());
    }
    const auto answer = iso15765_request(*session, link, options.request, 0, options.timeout_ms);
    if (!answer) return std::unexpected(answer.error());
    if (auto closed = finish(*session); !closed) return std::unexpected(closed.error());

    const int digits = link.extended ? 8 : 3;
    const bool negative = (*answer)[0] == kNegativeResponse;
    const std::uint8_t nrc = negative && answer->size() >= 3 ? (*answer)[2] : 0;
    if (options.json) {
        JsonWriter json = begin_json_report(Command::Uds, !negative);
        json.key("tx").string(hex_u32(link.request_id, digits));
        json.key("rx").string(hex_u32(link.response_id, digits));
        json.key("request").string(hex_bytes(options.request));
        json.key("response").string(hex_bytes(*answer));
        json.key("positive").boolean(!negative);
        if (negative) {
            json.key("nrc").string(hex_u32(nrc, 2));
            json.key("nrc_name").string(nrc_name(nrc));
        }
        json.end_object();
        print_out(json.text() + "\n");
    } else {
        std::string line = hex_u32(link.response_id, digits) + "  " + hex_bytes(*answer);
        if (negative) line += "  negative response: " + std::string(nrc_name(nrc)) + " (0x" + hex_u32(nrc, 2) + ")";
        print_out(line + "\n");
    }
    return negative ? kExitNegativeResponse : kExitOk;
}

}  // namespace vexo::tools
