// monitor: prints every received message, like candump.
#include "commands.h"
#include "console.h"
#include "diag_exchange.h"
#include "hex_text.h"

namespace vexo::tools {

namespace {

constexpr std::uint32_t kReadSliceMs = 100;
constexpr std::uint32_t kReadBatch = 16;

// "(0012.345678)  7E8   [8]  03 41 0C 1A F8 00 00 00"; 29-bit IDs take eight digits.
std::string candump_line(const ReceivedMessage& message, bool extended) {
    const std::uint32_t id = can_id_of(message.data);
    const bool wide = extended || (message.rx_status & CAN_29BIT_ID) != 0 || id > 0x7FF;
    std::string seconds = std::to_string(message.timestamp_us / 1000000);
    if (seconds.size() < 4) seconds.insert(0, 4 - seconds.size(), '0');
    std::string micros = std::to_string(message.timestamp_us % 1000000);
    micros.insert(0, 6 - micros.size(), '0');
    const std::size_t length = message.data.size() - 4;
    return "(" + seconds + "." + micros + ")  " + hex_u32(id, wide ? 8 : 3) + "   [" + std::to_string(length) + "]  " +
           hex_bytes(std::span(message.data).subspan(4)) + "\n";
}

}  // namespace

Result<int> run_monitor(const CommandContext& context) {
    const Options& options = context.options;
    const bool extended = needs_29bit(options.filter_id) || needs_29bit(options.filter_mask);
    const std::uint32_t protocol = options.monitor_protocol == MonitorProtocol::Can ? CAN : ISO15765;
    const std::uint32_t flags = extended ? CAN_29BIT_ID : 0;

    auto session = open_session(context);
    if (!session) return std::unexpected(session.error());
    if (auto connected = session->connect(protocol, flags, options.baud); !connected) {
        return std::unexpected(connected.error());
    }
    const std::vector<std::uint8_t> mask = can_id_bytes(options.filter_mask);
    const std::vector<std::uint8_t> pattern = can_id_bytes(options.filter_id & options.filter_mask);
    if (auto filter = session->start_filter(PASS_FILTER, mask, pattern, std::nullopt, flags); !filter) {
        return std::unexpected(filter.error());
    }
    if (!options.json) {
        print_err(std::string("monitoring ") + (protocol == CAN ? "CAN" : "ISO15765") + " at " +
                  std::to_string(options.baud) + " baud, id " + hex_u32(options.filter_id, 3) + " mask " +
                  hex_u32(options.filter_mask, 3) + "; Ctrl-C stops\n");
    }

    std::uint32_t seen = 0;
    while (!interrupt_requested() && (!options.count || seen < *options.count)) {
        auto messages = session->read(kReadBatch, kReadSliceMs);
        if (!messages) return std::unexpected(messages.error());
        for (const ReceivedMessage& message : *messages) {
            // What arrived after Ctrl-C is not shown: the user asked to stop.
            if (interrupt_requested()) break;
            // An ISO15765 first-frame indication only announces a message still being received.
            if (message.data.size() < 4 || (protocol == ISO15765 && (message.rx_status & ISO15765_FIRST_FRAME) != 0)) {
                continue;
            }
            if (options.count && seen >= *options.count) break;
            ++seen;
            if (options.json) {
                // One object per line, so a reader sees each frame as it comes.
                JsonWriter json = begin_json_report(Command::Monitor);
                json.key("type").string("message");
                json.key("timestamp_us").unsigned_number(message.timestamp_us);
                json.key("id").string(hex_u32(can_id_of(message.data), extended ? 8 : 3));
                json.key("data").string(hex_bytes(std::span(message.data).subspan(4)));
                json.end_object();
                print_out(json.text() + "\n");
            } else {
                print_out(candump_line(message, extended));
            }
        }
    }
    const bool interrupted = interrupt_requested();
    if (auto closed = finish(*session); !closed) return std::unexpected(closed.error());

    if (options.json) {
        JsonWriter json = begin_json_report(Command::Monitor);
        json.key("type").string("summary");
        json.key("protocol").string(protocol == CAN ? "can" : "iso15765");
        json.key("baud").unsigned_number(options.baud);
        json.key("count").unsigned_number(seen);
        json.end_object();
        print_out(json.text() + "\n");
    } else {
        print_err(std::to_string(seen) + " message" + (seen == 1 ? "" : "s") + "\n");
    }
    // What was received is shown all the same; the status still tells a script the run was cut short.
    return interrupted ? kExitInterrupted : kExitOk;
}

}  // namespace vexo::tools
