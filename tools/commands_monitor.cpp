// monitor: prints every received message, like candump.
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <fstream>
#include <memory>
#include <system_error>

#include "can_log_format.h"
#include "commands.h"
#include "console.h"
#include "core/text_format.h"
#include "diag_exchange.h"
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
    std::string text;
    for (const CanFilter& f : filters) {
        const std::size_t digits = f.extended ? 8 : 3;
        text += (text.empty() ? "id " : ", id ") + text::hex_upper(f.id, digits) + " mask " +
                text::hex_upper(f.mask, digits);
    }
    return text;
}

// --log: candump's log lines to a file, or to standard output for "-". A failure carries the
// system's reason: a capture that silently stops is data lost.
class CaptureLog {
public:
    static Result<CaptureLog> open(const std::filesystem::path& path, LogMode mode) {
        if (path == std::filesystem::path(kStandardStream)) return CaptureLog(path, nullptr);
        std::error_code error;
        if (mode == LogMode::New && std::filesystem::is_regular_file(path, error)) {
            return usage_failure("--log: '" + path_text(path) + "' exists; --append adds to it, --force replaces it");
        }
        const auto how = std::ios::binary | std::ios::out | (mode == LogMode::Append ? std::ios::app : std::ios::trunc);
        errno = 0;
        auto file = std::make_unique<std::ofstream>(path, how);
        if (!*file) return usage_failure("--log: cannot write '" + path_text(path) + "': " + reason());
        return CaptureLog(path, std::move(file));
    }

    bool to_stdout() const { return file_ == nullptr; }

    VoidResult write(const std::string& line) {
        if (to_stdout()) {
            print_out(line);
            return output_status();
        }
        errno = 0;
        // Each line reaches the file at once, so a capture cut short still holds every frame before.
        if (!file_->write(line.data(), static_cast<std::streamsize>(line.size())).flush()) {
            return tool_failure("--log: cannot write '" + path_text(path_) + "': " + reason());
        }
        return {};
    }

private:
    CaptureLog(std::filesystem::path path, std::unique_ptr<std::ofstream> file)
        : path_(std::move(path)), file_(std::move(file)) {}

    static std::string reason() { return std::generic_category().message(errno != 0 ? errno : EIO); }

    std::filesystem::path path_;
    std::unique_ptr<std::ofstream> file_;  // none: standard output
};

}  // namespace

Result<int> run_monitor(const CommandContext& context) {
    const Options& options = context.options;
    const std::uint32_t protocol = options.monitor_protocol == MonitorProtocol::Can ? CAN : ISO15765;
    const std::uint32_t flags = options.can_29bit ? CAN_29BIT_ID : 0;

    std::optional<CaptureLog> log;
    if (options.log_file) {
        auto opened = CaptureLog::open(*options.log_file, options.log_mode);
        if (!opened) return std::unexpected(opened.error());
        log = std::move(*opened);
    }
    // With the log on standard output, the screen's view stays off it.
    const bool show = !log || !log->to_stdout();

    auto session = open_session(context);
    if (!session) return std::unexpected(session.error());
    if (auto connected = session->connect(protocol, flags, options.baud); !connected) {
        return std::unexpected(connected.error());
    }
    const std::vector<CanFilter> filters =
        options.filters.empty() ? std::vector<CanFilter>{{0, 0, options.can_29bit}} : options.filters;
    for (const CanFilter& f : filters) {
        const std::vector<std::uint8_t> mask = can_id_bytes(f.mask);
        const std::vector<std::uint8_t> pattern = can_id_bytes(f.id & f.mask);
        if (auto filter = session->start_filter(PASS_FILTER, mask, pattern, std::nullopt, flags); !filter) {
            return std::unexpected(filter.error());
        }
    }
    if (!options.json) {
        print_err(std::string("monitoring ") + (protocol == CAN ? "CAN" : "ISO15765") + " at " +
                  std::to_string(options.baud) + " baud, " + filter_text(filters) +
                  (!log               ? std::string()
                   : log->to_stdout() ? ", logging to standard output"
                                      : ", logging to " + path_text(*options.log_file)) +
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
        if (auto written = output_status(); !written) return std::unexpected(written.error());
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
            if (log) {
                if (auto logged = log->write(candump_log_line(unix_us, id, wide, data)); !logged) {
                    return std::unexpected(logged.error());
                }
            }
            if (!show) continue;
            if (options.json) {
                // One object per line, so a reader sees each frame as it comes.
                Json json = json_report(Command::Monitor);
                json["type"] = "message";
                json["timestamp_us"] = message.timestamp_us;
                json["id"] = text::hex_upper(id, wide ? 8 : 3);
                json["data"] = text::byte_list(data);
                print_json(json);
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
        Json json = json_report(Command::Monitor);
        json["type"] = "summary";
        json["protocol"] = protocol == CAN ? "can" : "iso15765";
        json["baud"] = options.baud;
        json["count"] = seen;
        print_json(json);
    } else {
        print_err(std::to_string(seen) + " message" + (seen == 1 ? "" : "s") + "\n");
    }
    // What was received is shown all the same; the status still tells a script the run was cut short.
    return interrupted ? kExitInterrupted : kExitOk;
}

}  // namespace vexo::tools
