#include "command_support.h"

#include <cstdio>

#include "console.h"
#include "hex_text.h"
#include "status_names.h"

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
