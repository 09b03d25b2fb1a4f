#include "command_support.h"

#include <cerrno>
#include <cstdio>
#include <system_error>

#include "console.h"
#include "core/text_format.h"
#include "library_location.h"
#include "trace_place.h"

namespace vexo::tools {

namespace {

constexpr std::string_view kCableInUseHint =
    "Another program has the cable open (a J2534 application or another vexo): close it and try again.";

// The system's reason for the first write to standard output that failed; 0 while none has.
int stdout_error = 0;

}  // namespace

Result<Session> open_session(const CommandContext& context) {
    auto session = Session::open(context.library);
    if (!session && session.error().status == ERR_DEVICE_NOT_CONNECTED && !context.options.sim) {
        // The library's text tells a cable another program holds from one this user may not open.
        const bool in_use = session.error().text.find("in use by another program") != std::string::npos;
        session.error().hint = in_use ? std::string(kCableInUseHint) : std::string(usb_access_hint());
    }
    return session;
}

VoidResult finish(Session& session) { return session.close(); }

void print_json(const Json& json) { print_out(json_line(json)); }

VoidResult steer_trace(const Options& options) {
    if (options.no_trace) {
        steer_trace_to(no_trace_directory());
    } else if (options.trace_dir) {
        std::error_code error;
        if (!std::filesystem::is_directory(*options.trace_dir, error)) {
            return usage_failure("--trace-dir: '" + path_text(*options.trace_dir) + "' is not a directory");
        }
        steer_trace_to(*options.trace_dir);
    }
    return {};
}

std::optional<std::filesystem::path> trace_file(const Options& options) {
    if (options.no_trace) return std::nullopt;
    const auto directory = trace_directory();
    if (!directory) return std::nullopt;
    return *directory / kTraceFileName;
}

void announce_trace(const Options& options) {
    const auto file = trace_file(options);
    std::error_code error;
    if (!file || options.json || !stderr_is_terminal() || std::filesystem::exists(*file, error)) return;
    print_err("vexo: the J2534 library traces every call to " + path_text(*file) +
              " (--trace-dir DIR moves it, --no-trace turns it off)\n");
}

void print_out(std::string_view text) {
    if (stdout_error != 0) return;
    errno = 0;
    if (std::fwrite(text.data(), 1, text.size(), stdout) != text.size() || std::fflush(stdout) != 0) {
        stdout_error = errno != 0 ? errno : EIO;
    }
}

void print_err(std::string_view text) {
    std::fwrite(text.data(), 1, text.size(), stderr);
    std::fflush(stderr);
}

VoidResult output_status() {
    if (stdout_error == 0) return {};
    return tool_failure("cannot write to standard output: " + std::generic_category().message(stdout_error));
}

int report_failure(const ToolError& error, Command command, bool json) {
    const int code = error.interrupted ? kExitInterrupted : error.usage ? kExitUsage : kExitFailure;
    if (json) {
        Json out = json_report(command, false);
        Json& detail = out["error"];
        detail["kind"] = error.usage ? "usage" : error.interrupted ? "interrupted" : "failure";
        if (!error.call.empty()) {
            detail["call"] = error.call;
            detail["status"] = error.status;
            detail["status_name"] = status_name(error.status);
        }
        detail["text"] = error.text;
        if (!error.hint.empty()) detail["hint"] = error.hint;
        print_json(out);
        return code;
    }
    std::string line = "vexo: ";
    if (!error.call.empty()) {
        line +=
            error.call + " failed: " + status_name(error.status) + " (0x" + text::hex_upper(error.status, 2) + "): ";
    }
    line += error.text + "\n";
    if (!error.hint.empty()) line += error.hint + "\n";
    print_err(line);
    return code;
}

}  // namespace vexo::tools
