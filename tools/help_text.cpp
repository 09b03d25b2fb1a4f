#include "help_text.h"

#include "vexo/trace_file.h"

namespace vexo::tools {

namespace {

constexpr const char* kGeneral = R"(vexo - talk to a vehicle through a J2534 04.04 pass-thru cable

usage: vexo [options] COMMAND [command options]

commands:
  info      open the cable, show its version texts and the battery voltage
  vin       read the vehicle identification number (OBD mode 09 PID 02)
  obd       show supported PIDs and live data: rpm, speed, temperatures, ...
  dtc       stored, pending and permanent trouble codes (modes 03, 07, 0A);
            --clear erases them (mode 04)
  uds       a diagnostic session: raw requests on one channel, kept alive
  monitor   print every CAN message received, like candump
  kline     ISO14230 fast init on the K-line, then one request
  register  write ~/.passthru/vexo-j2534.json, through which Linux J2534
            applications find the library; unregister removes it

options for every command:
  --lib PATH         the J2534 library to load (default: libvexo_j2534_0404.so or
                     vexo_j2534_0404.dll beside vexo, then in the directory above it,
                     where a build tree puts it, then in ../lib/); a bare file
                     name is also looked for in the current directory
  --abi ABI          the record layout of that library: platform (the standard's
                     unsigned long, the default) or fixed32 (32-bit fields, the
                     default for a file whose name ends in _fixed32; without --lib,
                     libvexo_j2534_0404_fixed32.so is looked for instead)
  --sim              use the simulated cable and vehicle instead of USB hardware
  --sim-lib PATH     the simulated cable's libusb stand-in (default: simusb/ beside
                     vexo, then ../simusb/, ../sim/simusb/, ../sim/ and, installed,
                     ../lib/vexo-j2534/)
  --sim-vehicle NAME the simulated vehicle: demo (default; 500 kbit/s, 11-bit IDs),
                     demo-250k, demo-29bit or demo-250k-29bit (the same car at
                     250 kbit/s, on 29-bit IDs, or both), none (a cable on an
                     empty bus) or busload:N (demo plus N CAN frames a second)
  --sim-cables N     how many simulated cables are plugged in (default 1; 0 shows
                     what happens when none is)
  --json             print one JSON object on stdout instead of text
  --trace-dir DIR    the J2534 library traces every call to )" VEXO_TRACE_FILE_NAME R"( in
                     the temporary directory; this run's goes to DIR instead
  --no-trace         this run writes no trace (useful on a busy bus)
  --version          vexo's version, the library's file and the version it
                     reports once a cable is open (or why none was opened)
  --help, -h         this text; 'vexo COMMAND --help' or 'vexo help COMMAND'
                     explains a command

Try 'vexo --sim info' first: it needs no cable.

exit status: 0 done, 1 failed (the failing J2534 call, its status and the
library's error text are printed), 2 bad command line, 3 the ECU answered
with a negative response, 130 interrupted by Ctrl-C.
)";

constexpr const char* kInfo = R"(usage: vexo info [--json]

Opens the cable, prints the firmware, library and API version texts
(PassThruReadVersion) and the battery voltage on pin 16 (READ_VBATT), closes.
)";

constexpr const char* kVin = R"(usage: vexo vin [--tx ID] [--rx ID] [--functional] [--baud N] [--timeout MS] [--json]

Reads the VIN over ISO15765 (request 09 02) and prints its 17 characters.

  --tx ID        request CAN ID, hexadecimal (default 7E0)
  --rx ID        answer CAN ID (default 7E8); IDs above 7FF use 29-bit CAN
  --functional   ask every ECU at once (7DF, or 18DB33F1 with 29-bit IDs) and
                 show each answer on a line that starts with the ECU's ID
  --baud N       CAN bit rate, 10000 to 1000000 (default 500000)
  --timeout MS   how long to wait for the answer (default 1000)

When nothing answers and none of --baud, --tx and --rx was given, the other
set-ups OBD vehicles use are tried: 500 and 250 kbit/s, 11- and 29-bit IDs;
vexo says on stderr which one answered.
)";

constexpr const char* kObd =
    R"(usage: vexo obd [--watch] [--tx ID] [--rx ID] [--functional] [--baud N] [--timeout MS] [--json]

Asks which mode 01 PIDs the ECU supports (PIDs 00, 20, 40, ...), shows the
MIL, the number of stored codes and the readiness of each monitor (01), the
OBD standard (1C) and the freeze frame (mode 02: the code that stored it and
the values below as they were then), then reads and decodes engine speed (0C),
vehicle speed (0D), coolant temperature (05), intake air temperature (0F),
throttle position (11), fuel level (2F) and control module voltage (42).

  --watch        refresh the values until Ctrl-C (exit status 130); with --json
                 one object per line
  --tx, --rx, --functional, --baud, --timeout   as for 'vexo vin --help'
)";

constexpr const char* kDtc =
    R"(usage: vexo dtc [--clear [--yes]] [--tx ID] [--rx ID] [--functional] [--baud N] [--timeout MS] [--json]

Reads the stored diagnostic trouble codes (mode 03) and prints them as
P/C/B/U codes such as P0301, then the pending (07) and permanent (0A) ones
when the ECU has those modes.

  --clear        then erase them and the freeze-frame data (mode 04), after
                 asking y/N on the terminal, and read them again: a fault that
                 is still there may set its code at once
  --yes          do not ask
  --tx, --rx, --functional, --baud, --timeout   as for 'vexo vin --help'
)";

constexpr const char* kUds =
    R"(usage: vexo uds [options] HEX... [-- HEX...]...
       vexo uds [options] --script FILE      (or: vexo uds [options] -)

Opens one ISO15765 channel and sends the requests in order on it, so what one
request sets up in the ECU (a session from 10, a seed from 27) holds for the
next: 'vexo uds 10 03 -- 27 01 -- 22 F1 90'. With --script FILE, or '-' for
standard input, the requests are read one per line ('#' starts a comment,
blank lines are skipped), each sent as soon as its line is read.

Each answer is printed in hexadecimal, with its text where it holds readable
characters (a VIN) and the time the exchange took. A negative answer (7F,
service, code) is printed with the code's name, ends the session and exits
with 3; while the ECU answers "response pending" (78) vexo keeps waiting.

  --keepalive MS tester present (3E 80, no answer wanted) when the link has
                 been quiet this long (default 2000; 0 sends none)
  --key-cmd CMD  after a seed from 27 with an odd level, run CMD through the
                 shell with the seed on its input ("1234"), send its output
                 (hexadecimal) as the key with the next level (27 02)
  --tx ID        request CAN ID, hexadecimal (default 7E0)
  --rx ID        answer CAN ID (default 7E8); IDs above 7FF use 29-bit CAN
  --baud N       CAN bit rate (default 500000)
  --timeout MS   how long to wait for each answer (default 1000)
)";

constexpr const char* kMonitor =
    R"(usage: vexo monitor [--proto can|iso15765] [--baud N] [--filter ID[:MASK]]...
                    [--format table|candump] [--time cable|absolute|delta]
                    [--log FILE] [--count N] [--duration S] [--json]

Prints every received message with its time stamp, CAN ID, length and data,
until --count or --duration is reached or Ctrl-C (which closes the cable
cleanly and exits with 130).

  --proto P      can (default) or iso15765
  --baud N       bit rate, 10000 to 1000000 (default 500000)
  --filter F     receive only IDs that equal ID under MASK (hexadecimal); an ID
                 alone is that ID only; give it more than once for several;
                 IDs above 7FF use 29-bit CAN (default: every ID)
  --id ID        the same as --filter ID, or ID:MASK with --mask MASK
  --format F     table (default) or candump, can-utils' log format:
                 (1733650000.123456) vexo0 7E8#0341057B
  --time T       the table's time column: cable (seconds since the cable
                 started, the default), absolute (the wall clock) or delta
                 (since the frame before)
  --log FILE     also write every frame to FILE in candump's log format, which
                 can-utils' log2asc and canplayer read
  --count N      stop after N messages
  --duration S   stop after S seconds
)";

constexpr const char* kRegister = R"(usage: vexo register [--lib PATH] [--json]
       vexo unregister [--json]

register writes ~/.passthru/vexo-j2534.json, the file through which Linux
J2534 applications find a device's library: NAME, VENDOR, FUNCTION_LIB (the
absolute path of the fixed32 library, libvexo_j2534_0404_fixed32.so, beside
vexo or given with --lib; these applications declare 32-bit fields) and the
protocols it carries. unregister removes it. Neither touches a file of that
name that vexo did not write: vexo's begins with its NAME and VENDOR lines.
)";

constexpr const char* kKline = R"(usage: vexo kline [--request HEX] [--timeout MS] [--json]

Connects ISO14230 at 10400 baud, runs a fast init with StartCommunication
(C1 33 F1 81), prints the key bytes of the answer, then sends one request
(default 01 00) to the functional address 33 and prints the answer's data.

  --request HEX  the service bytes to send, e.g. --request '01 0C' or
                 --request 0902
  --timeout MS   how long to wait for the answer (default 1000)
)";

}  // namespace

std::string help_text(Command command) {
    switch (command) {
        case Command::None: return kGeneral;
        case Command::Info: return kInfo;
        case Command::Vin: return kVin;
        case Command::Obd: return kObd;
        case Command::Dtc: return kDtc;
        case Command::Uds: return kUds;
        case Command::Monitor: return kMonitor;
        case Command::Kline: return kKline;
        case Command::Register:
        case Command::Unregister: return kRegister;
    }
    return kGeneral;
}

}  // namespace vexo::tools
