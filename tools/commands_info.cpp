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
        JsonWriter json = begin_json_report(Command::Info);
        json.key("library").string(path_text(context.library.path()));
        json.key("device_id").unsigned_number(session->device_id());
        json.key("firmware_version").string(versions->firmware);
        json.key("dll_version").string(versions->dll);
        json.key("api_version").string(versions->api);
        json.key("battery_mv").unsigned_number(*millivolts);
        json.key("battery_v").number_text(volts);
        json.end_object();
        print_out(json.text() + "\n");
    } else {
        print_out("library:  " + path_text(context.library.path()) + "\n" + "firmware: " + versions->firmware + "\n" +
                  "dll:      " + versions->dll + "\n" + "api:      " + versions->api + "\n" + "battery:  " + volts +
                  " V\n");
    }
    return kExitOk;
}

}  // namespace vexo::tools
