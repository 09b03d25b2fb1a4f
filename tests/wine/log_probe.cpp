// Writes a few trace lines the way the library does, so a Wine run can show where they land:
// the debugger output (WINEDEBUG=+debugstr) and %TEMP%\j2534-0404.log. Prints TEMP for the checker.
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "core/diagnostic_log.h"
#include "platform/environment.h"

int main(int argc, char** argv) {
    const std::string marker = argc > 1 ? argv[1] : "probe";
    vexo::log_line("[j2534] " + marker + " entry line caf\xC3\xA9");
    vexo::driver_log(marker + " driver line");
    const std::vector<std::uint8_t> ati = {'a', 't', 'i', '\r', '\n'};
    vexo::log_hex_dump(marker + " TX wire", ati);
    std::printf("%s\n", vexo::platform::environment_value("TEMP").value_or("").c_str());
    return 0;
}
