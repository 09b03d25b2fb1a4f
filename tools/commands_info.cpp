#include "commands.h"
#include "library_location.h"
#include "obd_decode.h"

namespace vexo::tools {

Result<int> run_info(const CommandContext& context) {
    auto session = open_session(context);
    if (!session) return std::unexpected(session.error());
    const auto versions = session->read_version();
    if (!versions) return std::unexpected(versions.error());
    const auto millivolts = session->read_battery_millivolts();
    if (!millivolts) return std::unexpected(millivolts.error());
    if (auto closed = finish(*session); !closed) return std::unexpected(closed.error());

    const std::string volts = format_volts(*millivolts);
    if (context.options.json) {
        Json json = json_report(Command::Info);
        json["library"] = path_text(context.library.path());
        json["device_id"] = session->device_id();
        json["firmware_version"] = versions->firmware;
        json["dll_version"] = versions->dll;
        json["api_version"] = versions->api;
        json["battery_mv"] = *millivolts;
        json["battery_v"] = json_decimal(volts);
        print_json(json);
    } else {
        print_out("library:  " + path_text(context.library.path()) + "\n" + "firmware: " + versions->firmware + "\n" +
                  "dll:      " + versions->dll + "\n" + "api:      " + versions->api + "\n" + "battery:  " + volts +
                  " V\n");
    }
    return kExitOk;
}

}  // namespace vexo::tools
