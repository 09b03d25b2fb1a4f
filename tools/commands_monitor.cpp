// monitor: prints every received message, like candump.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>

#include "can_log_format.h"
#include "commands.h"
#include "console.h"
#include "diag_exchange.h"
#include "hex_text.h"
#include "library_location.h"

namespace vexo::tools {

namespace {

constexpr std::uint32_t kReadSliceMs = 100;
constexpr std::uint32_t kReadBatch = 16;

// The cable's clock counts from its start; the wall clock is pinned to it at the first frame.
class FrameClock {
public:
    std::uint64_t unix_us(std::uint64_t cable_us) {
        if (!offset_) {
            const auto now = std::chrono::duration_cast<std::chrono::microseconds>(
                std::chrono::system_clock::now().time_since_epoch());
            offset_ = static_cast<std::int64_t>(now.count()) - static_cast<std::int64_t>(cable_us);
        }
        return static_cast<std::uint64_t>(*offset_ + static_cast<std::int64_t>(cable_us));
    }
    std::uint64_t delta_us(std::uint64_t cable_us) {
        const std::uint64_t delta = previous_ && cable_us > *previous_ ? cable_us - *previous_ : 0;
        previous_ = cable_us;
        return delta;
    }

private:
    std::optional<std::int64_t> offset_;
    std::optional<std::uint64_t> previous_;
};

// A busy bus makes the library's trace grow fast (2,000 frames a second: about 1.4 GB an hour); after
// a second of it the user is told, once, how fast.
class TraceGrowthWarning {
public:
    explicit TraceGrowthWarning(std::optional<std::filesystem::path> file)
        : file_(std::move(file)), start_size_(size()), start_(std::chrono::steady_clock::now()) {}

    void check() {
        if (!file_ || done_) return;
        const auto elapsed = std::chrono::steady_clock::now() - start_;
        if (elapsed < kAfter) return;
        done_ = true;
        const double seconds = std::chrono::duration<double>(elapsed).count();
        const double mb_per_hour = static_cast<double>(size() - std::min(size(), start_size_)) / seconds * 3600.0 / 1e6;
        if (mb_per_hour < kWarnMbPerHour) return;
        print_err("vexo: at this frame rate the trace " + path_text(*file_) + " grows by about " +
                  std::to_string(static_cast<std::uint64_t>(mb_per_hour)) +
                  " MB an hour; --no-trace turns it off\n");
    }

private:
    static constexpr auto kAfter = std::chrono::seconds(1);
    static constexpr double kWarnMbPerHour = 100;

    std::uintmax_t size() const {
        std::error_code error;
        const std::uintmax_t bytes = file_ ? std::filesystem::file_size(*file_, error) : 0;
        return error ? 0 : bytes;
    }

    std::optional<std::filesystem::path> file_;
    std::uintmax_t start_size_;
    std::chrono::steady_clock::time_point start_;
    bool done_ = false;
};

std::string filter_text(const std::vector<CanFilter>& filters) {
    if (filters.empty()) return "id 000 mask 000";
    std::string text;
    for (const CanFilter& f : filters) {
        text += (text.empty() ? "id " : ", id ") + hex_u32(f.id, needs_29bit(f.id) ? 8 : 3) + " mask " +
                hex_u32(f.mask, needs_29bit(f.mask) ? 8 : 3);
    }
    return text;
}

}  // namespace

Result<int> run_monitor(const CommandContext& context) {
    const Options& options = context.options;
    const bool extended = std::any_of(options.filters.begin(), options.filters.end(), [](const CanFilter& f) {
        return needs_29bit(f.id) || needs_29bit(f.mask);
    });
    const std::uint32_t protocol = options.monitor_protocol == MonitorProtocol::Can ? CAN : ISO15765;
    const std::uint32_t flags = extended ? CAN_29BIT_ID : 0;

    std::FILE* log = nullptr;
    if (options.log_file) {
        log = std::fopen(path_text(*options.log_file).c_str(), "w");
        if (log == nullptr) return usage_failure("--log: cannot write '" + path_text(*options.log_file) + "'");
    }
    const std::unique_ptr<std::FILE, int (*)(std::FILE*)> log_closer(log, [](std::FILE* f) {
        return f != nullptr ? std::fclose(f) : 0;
    });

    auto session = open_session(context);
    if (!session) return std::unexpected(session.error());
    if (auto connected = session->connect(protocol, flags, options.baud); !connected) {
        return std::unexpected(connected.error());
    }
    const std::vector<CanFilter> filters = options.filters.empty() ? std::vector<CanFilter>{{0, 0}} : options.filters;
    for (const CanFilter& f : filters) {
        const std::vector<std::uint8_t> mask = can_id_bytes(f.mask);
        const std::vector<std::uint8_t> pattern = can_id_bytes(f.id & f.mask);
        if (auto filter = session->start_filter(PASS_FILTER, mask, pattern, std::nullopt, flags); !filter) {
            return std::unexpected(filter.error());
        }
    }
    if (!options.json) {
        print_err(std::string("monitoring ") + (protocol == CAN ? "CAN" : "ISO15765") + " at " +
                  std::to_string(options.baud) + " baud, " + filter_text(options.filters) +
                  (log != nullptr ? ", logging to " + path_text(*options.log_file) : std::string()) +
                  "; Ctrl-C stops\n");
    }

    FrameClock clock;
    TraceGrowthWarning trace_warning(trace_file(options));
    const auto deadline = options.duration_s
                              ? std::optional(std::chrono::steady_clock::now() + std::chrono::seconds(*options.duration_s))
                              : std::nullopt;
    std::uint32_t seen = 0;
    while (!interrupt_requested() && (!options.count || seen < *options.count) &&
           (!deadline || std::chrono::steady_clock::now() < *deadline)) {
        trace_warning.check();
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
            const std::uint32_t id = can_id_of(message.data);
            // A 29-bit channel also passes 11-bit frames; each is shown as the frame itself says.
            const bool wide = (message.rx_status & CAN_29BIT_ID) != 0 || id > 0x7FF;
            const std::span<const std::uint8_t> data = std::span(message.data).subspan(4);
            const std::uint64_t unix_us = clock.unix_us(message.timestamp_us);
            const std::uint64_t delta_us = clock.delta_us(message.timestamp_us);
            if (log != nullptr) std::fputs(candump_log_line(unix_us, id, wide, data).c_str(), log);
            if (options.json) {
                // One object per line, so a reader sees each frame as it comes.
                JsonWriter json = begin_json_report(Command::Monitor);
                json.key("type").string("message");
                json.key("timestamp_us").unsigned_number(message.timestamp_us);
                json.key("id").string(hex_u32(id, wide ? 8 : 3));
                json.key("data").string(hex_bytes(data));
                json.end_object();
                print_out(json.text() + "\n");
            } else if (options.monitor_format == MonitorFormat::Candump) {
                print_out(candump_log_line(unix_us, id, wide, data));
            } else {
                const std::uint64_t shown = options.monitor_time == MonitorTime::Absolute ? unix_us
                                            : options.monitor_time == MonitorTime::Delta  ? delta_us
                                                                                          : message.timestamp_us;
                print_out(table_line(shown, id, wide, data));
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
