#include "command_support.h"

#include <cstdio>

#include "console.h"
#include "hex_text.h"
#include "library_location.h"
#include "status_names.h"
#include "trace_place.h"

namespace vexo::tools {

namespace {

constexpr std::string_view kCableInUseHint =
    "Another program has the cable open (a J2534 application or another vexo): close it and try again.";

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

JsonWriter begin_json_report(Command command, bool ok) {
    JsonWriter json;
    json.begin_object();
    json.key("schema").unsigned_number(kJsonSchema);
    json.key("command").string(command_name(command));
    json.key("ok").boolean(ok);
    return json;
}

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
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fflush(stdout);
}

void print_err(std::string_view text) {
    std::fwrite(text.data(), 1, text.size(), stderr);
    std::fflush(stderr);
}

int report_failure(const ToolError& error, Command command, bool json) {
    const int code = error.interrupted ? kExitInterrupted : error.usage ? kExitUsage : kExitFailure;
    if (json) {
        JsonWriter out = begin_json_report(command, false);
        out.key("error").begin_object();
        out.key("kind").string(error.usage ? "usage" : error.interrupted ? "interrupted" : "failure");
        if (!error.call.empty()) {
            out.key("call").string(error.call);
            out.key("status").unsigned_number(error.status);
            out.key("status_name").string(status_name(error.status));
        }
        out.key("text").string(error.text);
        if (!error.hint.empty()) out.key("hint").string(error.hint);
        out.end_object();
        out.end_object();
        print_out(out.text() + "\n");
        return code;
    }
    std::string line = "vexo: ";
    if (!error.call.empty()) {
        line += error.call + " failed: " + status_name(error.status) + " (0x" + hex_u32(error.status, 2) + "): ";
    }
    line += error.text + "\n";
    if (!error.hint.empty()) line += error.hint + "\n";
    print_err(line);
    return code;
}

}  // namespace vexo::tools
