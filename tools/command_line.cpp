#include "command_line.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <functional>
#include <limits>
#include <memory>
#include <utility>

#include "core/text_format.h"
#include "help_format.h"
#include "kline_frame.h"
#include "obd_addressing.h"
#include "sim_cable.h"
#include "uds_requests.h"
#include "vexo/trace_file.h"

namespace vexo::tools {

namespace {

// CLI11 ends the options at "--"; between the requests of a uds session it is a word like the
// others, so it reaches CLI11 as this one.
constexpr std::string_view kRequestSeparator = "--";
constexpr std::string_view kRequestSeparatorWord = "\x1F--";

constexpr std::uint32_t kMinBaud = 10000;  // outside this range no CAN controller the cable drives keeps time
constexpr std::uint32_t kMaxBaud = 1000000;
constexpr std::uint32_t kMaxSimCables = 8;
constexpr std::uint32_t kAnyNumber = std::numeric_limits<std::uint32_t>::max();

constexpr std::string_view kExitStatus =
    "0 done, 1 failed (the failing J2534 call, its status and the library's error text are printed), 2 bad "
    "command line, 3 the ECU answered with a negative response, 130 interrupted by Ctrl-C.";

// A monitor filter as given; whether it is a 29-bit one is known once every option is read.
struct FilterGiven {
    CanId id;
    std::optional<CanId> mask;  // none: that ID alone
};

// What the command line gives before the parts that depend on each other are put together.
struct Parsed {
    Options options;
    std::vector<std::string> uds_words;
    std::vector<FilterGiven> filters;  // --id (and --mask) first, then each --filter
    std::optional<CanId> id;
    std::optional<CanId> mask;
    bool tx_given = false;
    bool baud_given = false;
    std::optional<std::string> help_topic;
};

// Reads an option's value; a refusal is what follows the option's name in the usage error.
template <class T>
using Read = std::function<std::expected<T, std::string>(std::string_view)>;

std::unexpected<std::string> refuse(std::string text) { return std::unexpected(std::move(text)); }

std::string in_quotes(std::string_view text) { return "'" + std::string(text) + "'"; }

Read<std::uint32_t> decimal(std::uint32_t min = 0, std::uint32_t max = kAnyNumber) {
    return [min, max](std::string_view text) -> std::expected<std::uint32_t, std::string> {
        const auto value = parse_decimal_u32(text);
        if (!value) return refuse("needs a decimal number, not " + in_quotes(text));
        if (*value < min || *value > max) {
            return refuse((max == kAnyNumber ? "needs at least " + text::dec(min)
                                             : "takes " + text::dec(min) + " to " + text::dec(max)) +
                          ", not " + in_quotes(text));
        }
        return *value;
    };
}

std::expected<CanId, std::string> can_id(std::string_view text) {
    const auto id = parse_can_id(text);
    if (!id) return refuse("needs a hexadecimal CAN ID up to 1FFFFFFF, not " + in_quotes(text));
    return *id;
}

// "table or candump", "cable, absolute or delta".
template <class T>
Read<T> one_of(std::vector<std::pair<std::string_view, T>> words) {
    return [words](std::string_view text) -> std::expected<T, std::string> {
        std::string listed;
        for (std::size_t i = 0; i < words.size(); ++i) {
            if (words[i].first == text) return words[i].second;
            listed += (i == 0 ? "" : i + 1 == words.size() ? " or " : ", ") + std::string(words[i].first);
        }
        return refuse("is " + listed + ", not " + in_quotes(text));
    };
}

Read<std::string> nonempty(std::string_view what) {
    return [what](std::string_view text) -> std::expected<std::string, std::string> {
        if (text.empty()) return refuse("needs " + std::string(what));
        return std::string(text);
    };
}

// An option with a value: `read` checks and converts it, `store` keeps it. `shown_default` is what
// --help gives as its default.
template <class T, class Store>
CLI::Option* value(CLI::App& app, const std::string& name, const std::string& value_name, Read<T> read, Store store,
                   const std::string& description, const std::string& shown_default = {}) {
    CLI::Option* option = app.add_option_function<std::string>(
        name,
        [name, read, store](const std::string& text) {
            auto converted = read(text);
            if (!converted) throw CLI::ValidationError(name + " " + converted.error());
            store(std::move(*converted));
        },
        description);
    option->type_name(value_name);
    if (!shown_default.empty()) option->default_str(shown_default);
    return option;
}

template <class T>
auto into(T& target) {
    return [&target](auto&& value) { target = std::forward<decltype(value)>(value); };
}

CLI::Option* flag(CLI::App& app, const std::string& name, bool& target, const std::string& description) {
    return app.add_flag(name, target, description);
}

CLI::App* command(CLI::App& app, Command which, std::string summary, std::string_view about,
                  std::string_view notes = {}) {
    CLI::App* sub = app.add_subcommand(std::string(command_name(which)), summary + "\n" + std::string(about));
    sub->fallthrough();
    sub->allow_extras();
    sub->footer(std::string(notes));
    return sub;
}

// --tx, --rx and --functional: the commands that ask ECUs over ISO15765.
void add_ecu_ids(CLI::App& cmd, Parsed& p) {
    Options& o = p.options;
    CLI::Option* tx = value<CanId>(
        cmd, "--tx", "ID", can_id,
        [&p](CanId id) {
            p.options.tx_id = id.value;
            p.options.ids_29bit |= id.extended;
            p.tx_given = true;
        },
        "request CAN ID, hexadecimal; a functional one (7DF, 18DB33F1) asks every ECU, as --functional does",
        text::hex_upper(o.tx_id, 3));
    value<CanId>(
        cmd, "--rx", "ID", can_id,
        [&o](CanId id) {
            o.rx_id = id.value;
            o.ids_29bit = o.ids_29bit || id.extended;
            o.rx_given = true;
        },
        "answer CAN ID; an ID above 7FF, or written with more than three digits (00000201), is a 29-bit one",
        text::hex_upper(o.rx_id, 3));
    flag(cmd, "--functional", o.functional,
         "ask every ECU at once (7DF, or 18DB33F1 with 29-bit IDs) and show each answer on a line that starts "
         "with the ECU's ID")
        ->excludes(tx);
}

void add_baud(CLI::App& cmd, Parsed& p) {
    value<std::uint32_t>(
        cmd, "--baud", "N", decimal(kMinBaud, kMaxBaud),
        [&p](std::uint32_t baud) {
            p.options.baud = baud;
            p.baud_given = true;
        },
        "CAN bit rate, " + text::dec(kMinBaud) + " to " + text::dec(kMaxBaud), text::dec(p.options.baud));
}

void add_timeout(CLI::App& cmd, Options& o) {
    value<std::uint32_t>(cmd, "--timeout", "MS", decimal(), into(o.timeout_ms),
                         "how long to wait for an answer, in milliseconds", text::dec(o.timeout_ms));
}

void add_request_options(CLI::App& cmd, Parsed& p) {
    add_ecu_ids(cmd, p);
    add_baud(cmd, p);
    add_timeout(cmd, p.options);
}

constexpr std::string_view kSetUpSearch =
    "When nothing answers and none of --baud, --tx and --rx was given, the other set-ups OBD vehicles use are "
    "tried: 500 and 250 kbit/s, 11- and 29-bit IDs; vexo says on stderr which one answered.";

void add_global_options(CLI::App& app, Options& o) {
    value<std::string>(app, "--lib", "PATH", nonempty("a file"), into(o.library),
                       "the J2534 library to load (default: " + j2534_library_search_text() +
                           "); a bare file name is also looked for in the current directory");
    const std::string fixed32_search =
        kJ2534Fixed32LibraryFileName == kJ2534LibraryFileName
            ? ""
            : "; without --lib, " + std::string(kJ2534Fixed32LibraryFileName) + " is looked for instead";
    value<Abi>(app, "--abi", "ABI", one_of<Abi>({{"platform", Abi::Platform}, {"fixed32", Abi::Fixed32}}), into(o.abi),
               "the record layout of that library: platform (the standard's unsigned long, the default) or fixed32 "
               "(32-bit fields, the default for a file whose name ends in _fixed32" +
                   fixed32_search + ")");
    CLI::Option* sim = flag(app, "--sim", o.sim, "use the simulated cable and vehicle instead of USB hardware");
    value<std::string>(app, "--sim-lib", "PATH", nonempty("a file"), into(o.sim_library),
                       "the simulated cable's libusb stand-in (default: " + sim_usb_search_text() + ")")
        ->needs(sim);
    std::string vehicles;
    for (const SimVehicle& vehicle : kSimVehicles) {
        vehicles += (vehicles.empty()                         ? ""
                     : &vehicle == std::end(kSimVehicles) - 1 ? " or "
                                                              : ", ") +
                    std::string(vehicle.name) + " (" + std::string(vehicle.what) + ")";
    }
    value<std::string>(app, "--sim-vehicle", "NAME", nonempty("a name"), into(o.sim_vehicle),
                       "the simulated vehicle: " + vehicles)
        ->needs(sim);
    value<std::uint32_t>(app, "--sim-cables", "N", decimal(0, kMaxSimCables), into(o.sim_cables),
                         "how many simulated cables are plugged in; 0 shows what happens when none is",
                         text::dec(o.sim_cables))
        ->needs(sim);
    flag(app, "--json", o.json, "print JSON on stdout instead of text: one object, or one per line as it happens");
    CLI::Option* trace_dir = value<std::string>(app, "--trace-dir", "DIR", nonempty("a directory"), into(o.trace_dir),
                                                "the J2534 library traces every call to " VEXO_TRACE_FILE_NAME
                                                " in the temporary directory; this run's goes to DIR instead");
    flag(app, "--no-trace", o.no_trace, "this run writes no trace (useful on a busy bus)")->excludes(trace_dir);
    flag(app, "--version", o.version,
         "vexo's version, the library's file and layout, and the version it reports once a cable is open (or why "
         "none was opened)");
    flag(app, "--help,-h", o.help, "this text; 'vexo COMMAND --help' or 'vexo help COMMAND' explains a command");
}

std::expected<FilterGiven, std::string> filter_words(std::string_view text) {
    const std::size_t colon = text.find(':');
    const auto id = parse_can_id(text.substr(0, colon));
    const auto mask = colon == std::string_view::npos ? id : parse_can_id(text.substr(colon + 1));
    if (!id || !mask) return refuse("needs ID or ID:MASK, hexadecimal up to 1FFFFFFF, not " + in_quotes(text));
    return FilterGiven{*id, colon == std::string_view::npos ? std::nullopt : mask};
}

std::expected<std::vector<std::uint8_t>, std::string> kline_request_bytes(std::string_view text) {
    const auto bytes = parse_hex_bytes(text);
    if (!bytes) return refuse("needs hexadecimal bytes, not " + in_quotes(text));
    if (bytes->size() > kKlineMaxHeaderLength)
        return refuse("takes at most " + text::dec(kKlineMaxHeaderLength) + " bytes");
    return *bytes;
}

void add_uds(CLI::App& app, Parsed& p) {
    Options& o = p.options;
    CLI::App* uds = command(
        app, Command::Uds, "a diagnostic session: raw requests on one channel, kept alive",
        "Opens one ISO15765 channel and sends the requests in order on it, so what one request sets up in the ECU "
        "(a session from 10, a seed from 27) holds for the next: 'vexo uds 10 03 -- 27 01 -- 22 F1 90'. With "
        "--script FILE, or '-' for standard input, the requests are read one per line ('#' starts a comment, blank "
        "lines are skipped), each sent as soon as its line is read. A request holds at most 4095 bytes.\n"
        "Each answer is printed in hexadecimal, with its text where it holds readable characters (a VIN) and the "
        "time the exchange took. A negative answer (7F, service, code) is printed with the code's name, ends the "
        "session and exits with 3; while the ECU answers \"response pending\" (78) vexo keeps waiting. A request "
        "with the suppress-positive-response bit (80 in the sub-function of 10, 11, 27, 28, 31, 3E, 85, 87 and "
        "the like: 3E 80) wants no answer: silence for the answer time is success, a negative answer still "
        "counts.\n"
        "Sent to a functional ID (--functional, --tx 7DF), a request reaches every ECU, each answer is shown on a "
        "line of its own, and each ECU found by asking 01 00 first gets its own flow control.");
    add_request_options(*uds, p);
    value<std::uint32_t>(*uds, "--keepalive", "MS", decimal(), into(o.keepalive_ms),
                         "tester present (3E 80, no answer wanted) this often, sent by the J2534 library as a periodic "
                         "message; where the library refuses one, by vexo when the link has been quiet this long; 0 "
                         "sends none",
                         text::dec(o.keepalive_ms));
    value<std::string>(*uds, "--key-cmd", "CMD", nonempty("a command"), into(o.key_command),
                       "after a seed from 27 with an odd level, run CMD through the shell with the seed on its input "
                       "(\"1234\"), send its output (hexadecimal) as the key with the next level (27 02)");
    value<std::string>(*uds, "--script", "FILE", nonempty("a file"), into(o.uds_script),
                       "read the requests from FILE, one per line ('-' is standard input)");
    uds->add_option("HEX", p.uds_words,
                    "a request's bytes in hexadecimal (22 F1 90 or 22F190); '--' starts the next request, '-' "
                    "alone reads them from standard input")
        ->type_name("[-- HEX...]...");
}

void add_monitor(CLI::App& app, Parsed& p) {
    Options& o = p.options;
    CLI::App* monitor = command(
        app, Command::Monitor, "print every CAN message received, like candump",
        "Prints every received message with its time stamp, CAN ID, length and data, until --count or --duration "
        "is reached or Ctrl-C (which closes the cable cleanly and exits with 130).");
    value<MonitorProtocol>(
        *monitor, "--proto", "P",
        one_of<MonitorProtocol>({{"can", MonitorProtocol::Can}, {"iso15765", MonitorProtocol::Iso15765}}),
        into(o.monitor_protocol), "can or iso15765", "can");
    add_baud(*monitor, p);
    value<FilterGiven>(
        *monitor, "--filter", "ID[:MASK]", filter_words, [&p](FilterGiven filter) { p.filters.push_back(filter); },
        "receive only IDs that equal ID under MASK (hexadecimal); an ID alone is that ID only; give it more than "
        "once for several (default: every ID)")
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll)
        ->trigger_on_parse();
    CLI::Option* id = value<CanId>(*monitor, "--id", "ID", can_id, into(p.id), "the same as --filter ID");
    value<CanId>(*monitor, "--mask", "MASK", can_id, into(p.mask), "with --id: --filter ID:MASK")->needs(id);
    flag(*monitor, "--29bit", o.can_29bit,
         "29-bit identifiers: every filter's ID is a 29-bit one (as is an ID above 7FF, or written with more than "
         "three digits: 00000201)");
    value<MonitorFormat>(*monitor, "--format", "F",
                         one_of<MonitorFormat>({{"table", MonitorFormat::Table}, {"candump", MonitorFormat::Candump}}),
                         into(o.monitor_format),
                         "table or candump, can-utils' log format: (1733650000.123456) vexo0 7E8#0341057B", "table");
    value<MonitorTime>(
        *monitor, "--time", "T",
        one_of<MonitorTime>(
            {{"cable", MonitorTime::Cable}, {"absolute", MonitorTime::Absolute}, {"delta", MonitorTime::Delta}}),
        into(o.monitor_time),
        "the table's time column: cable (seconds since the cable started), absolute (the wall clock) or "
        "delta (since the frame before)",
        "cable");
    CLI::Option* log = value<std::string>(
        *monitor, "--log", "FILE", nonempty("a file name"), into(o.log_file),
        "also write every frame to FILE in candump's log format, which can-utils' log2asc and canplayer read; '-' "
        "writes it to standard output instead of the screen's view. A FILE that exists is left alone unless "
        "--append or --force says what to do with it");
    CLI::Option* append = monitor->add_flag_callback(
        "--append", [&o] { o.log_mode = LogMode::Append; }, "add to the --log FILE that exists");
    monitor
        ->add_flag_callback(
            "--force", [&o] { o.log_mode = LogMode::Replace; }, "replace the --log FILE that exists")
        ->needs(log)
        ->excludes(append);
    append->needs(log);
    value<std::uint32_t>(*monitor, "--count", "N", decimal(1), into(o.count), "stop after N messages");
    value<std::uint32_t>(*monitor, "--duration", "S", decimal(1), into(o.duration_s), "stop after S seconds");
}

// Every command and option of vexo, bound to `p`.
std::unique_ptr<CLI::App> declare(Parsed& p) {
    Options& o = p.options;
    auto app = std::make_unique<CLI::App>("vexo - talk to a vehicle through a J2534 04.04 pass-thru cable", "vexo");
    app->formatter(std::make_shared<HelpFormatter>());
    app->set_help_flag();  // --help is read like any other option: a bad command line still says what is wrong
    app->allow_extras();   // extras are named below, in vexo's words
    app->require_subcommand(0, 1);
    // A flag takes no value: "--clear=0" must not quietly mean "do not clear".
    app->option_defaults()->multi_option_policy(CLI::MultiOptionPolicy::TakeLast)->disable_flag_override();
    app->footer("Try 'vexo --sim info' first: it needs no cable.\nexit status: " + std::string(kExitStatus));
    add_global_options(*app, o);

    command(*app, Command::Info, "open the cable, show its version texts and the battery voltage",
            "Opens the cable, prints the firmware, library and API version texts (PassThruReadVersion) and the "
            "battery voltage on pin 16 (READ_VBATT), closes.");
    add_request_options(
        *command(*app, Command::Vin, "read the vehicle identification number (OBD mode 09 PID 02)",
                 "Reads the VIN over ISO15765 (request 09 02) and prints its 17 characters.", kSetUpSearch),
        p);
    CLI::App* obd = command(
        *app, Command::Obd, "show supported PIDs and live data: rpm, speed, temperatures, ...",
        "Asks which mode 01 PIDs the ECU supports (PIDs 00, 20, 40, ...), shows the MIL, the number of stored codes "
        "and the readiness of each monitor (01), the OBD standard (1C) and the freeze frame (mode 02: the code that "
        "stored it and the values below as they were then), then reads and decodes engine speed (0C), vehicle speed "
        "(0D), coolant temperature (05), intake air temperature (0F), throttle position (11), fuel level (2F) and "
        "control module voltage (42).",
        kSetUpSearch);
    flag(*obd, "--watch", o.watch,
         "refresh the values until Ctrl-C (exit status 130); with --json one object per line");
    add_request_options(*obd, p);
    CLI::App* dtc = command(
        *app, Command::Dtc,
        "stored, pending and permanent trouble codes (modes 03, 07, 0A); --clear erases them (mode 04)",
        "Reads the stored diagnostic trouble codes (mode 03) and prints them as P/C/B/U codes such as P0301, then "
        "the pending (07) and permanent (0A) ones when the ECU has those modes.",
        kSetUpSearch);
    flag(*dtc, "--clear", o.clear,
         "then erase them and the freeze-frame data (mode 04), after asking y/N on the terminal, and read them "
         "again: a fault that is still there may set its code at once");
    flag(*dtc, "--yes", o.yes, "do not ask");
    add_request_options(*dtc, p);
    add_uds(*app, p);
    add_monitor(*app, p);
    CLI::App* kline = command(
        *app, Command::Kline, "ISO14230 fast init on the K-line, then one request",
        "Connects ISO14230 at 10400 baud, runs a fast init with StartCommunication (C1 33 F1 81), prints the key "
        "bytes of the answer, then sends one request to the functional address 33 and prints the answer's data: "
        "every message of it, when the ECU answers in several.");
    value<std::vector<std::uint8_t>>(*kline, "--request", "HEX", kline_request_bytes, into(o.request),
                                     "the service bytes to send: --request '01 0C' or --request 0902",
                                     text::byte_list(o.request));
    add_timeout(*kline, o);

    CLI::App* reg =
        command(*app, Command::Register,
                "write ~/.passthru/vexo-j2534.json, through which Linux J2534 applications find the library",
                "Writes ~/.passthru/vexo-j2534.json, the file through which Linux J2534 applications find a device's "
                "library: NAME, VENDOR, FUNCTION_LIB (the absolute path of the fixed32 library, " +
                    std::string(kJ2534Fixed32LibraryFileName) +
                    ", beside vexo or given with --lib; these applications declare 32-bit fields) and the protocols it "
                    "carries. It leaves alone a file of that name that vexo did not write: vexo's begins with its NAME "
                    "and VENDOR lines.");
    CLI::App* unreg = command(*app, Command::Unregister, "remove ~/.passthru/vexo-j2534.json",
                              "Removes ~/.passthru/vexo-j2534.json if vexo wrote it: a file of that name that does "
                              "not begin with vexo's NAME and VENDOR lines is left as it is.");
#if defined(_WIN32)
    // Windows applications find J2534 libraries in the registry, where regsvr32 puts this one.
    reg->group("");
    unreg->group("");
#else
    (void)reg;
    (void)unreg;
#endif

    CLI::App* help = app->add_subcommand("help", "the same as COMMAND --help");
    help->group("");
    help->fallthrough();
    help->allow_extras();
    help->add_option("COMMAND", p.help_topic);
    return app;
}

// The first word CLI11 could not place, in vexo's words.
std::string extra_text(const CLI::App& app, const CLI::App* used, const std::string& word) {
    if (used == nullptr && !word.starts_with('-')) return "unknown command " + in_quotes(word);
    if (!word.starts_with('-')) return "unexpected argument " + in_quotes(word);
    const std::string name = word.substr(0, word.find('='));
    if (used != nullptr && used->get_option_no_throw(name) != nullptr) return name + " goes after the command";
    for (const CLI::App* sub : app.get_subcommands([](const CLI::App*) { return true; })) {
        if (sub->get_option_no_throw(name) == nullptr) continue;
        if (used == nullptr) return name + " goes after the command it applies to";
        return name + " does not apply to " + used->get_name();
    }
    return "unknown option " + in_quotes(name);
}

// CLI11 names the option first ("--timeout: 1 required MS missing", "clear was given a disallowed
// flag override"); vexo says what is wrong with it in its own words.
std::string mismatch_text(std::string_view text) {
    std::string name(text.substr(0, text.find_first_of(": ")));
    if (!name.starts_with('-')) name.insert(0, name.size() == 1 ? "-" : "--");
    return name + (text.ends_with("flag override") ? " takes no value" : " needs a value");
}

Command command_named(std::string_view name) {
    for (const Command command : {Command::Info, Command::Vin, Command::Obd, Command::Dtc, Command::Uds,
                                  Command::Monitor, Command::Kline, Command::Register, Command::Unregister}) {
        if (command_name(command) == name) return command;
    }
    return Command::None;
}

const CLI::App* used_command(const CLI::App& app) {
    const auto used = app.get_subcommands();
    return used.empty() ? nullptr : used.front();
}

// The parts that depend on each other, once everything is read.
std::expected<void, std::string> complete(Parsed& p) {
    Options& o = p.options;
    if (p.id) p.filters.insert(p.filters.begin(), {*p.id, p.mask});
    for (const FilterGiven& given : p.filters) {
        const bool extended = o.can_29bit || given.id.extended || (given.mask && given.mask->extended);
        // An ID alone is that ID: "--id 105" must not show every ID.
        const std::uint32_t mask = given.mask ? given.mask->value : extended ? kMax29BitId : kMax11BitId;
        o.filters.push_back({given.id.value, mask, extended});
    }
    for (const CanFilter& filter : o.filters) o.can_29bit = o.can_29bit || filter.extended;
    if (p.tx_given && is_functional_request_id(o.tx_id)) o.functional = true;
    if (o.functional && !p.tx_given) o.tx_id = kObdFunctionalId;
    o.bus_given = p.tx_given || o.rx_given || p.baud_given;
    if (o.json && o.log_file == std::filesystem::path(kStandardStream)) {
        return refuse("--log - writes the log to standard output, where --json writes too");
    }
    if (o.command != Command::Uds) return {};

    const bool from_stdin = std::find(p.uds_words.begin(), p.uds_words.end(), kStandardStream) != p.uds_words.end();
    if (from_stdin) {
        if (p.uds_words.size() != 1) return refuse("uds: '-' reads every request from standard input, alone");
        if (o.uds_script) return refuse("uds: '-' and --script exclude each other");
        o.uds_script = std::string(kStandardStream);
        return {};
    }
    if (p.uds_words.empty() && o.uds_script) return {};
    std::vector<std::string_view> words(p.uds_words.begin(), p.uds_words.end());
    std::replace(words.begin(), words.end(), kRequestSeparatorWord, kRequestSeparator);
    auto requests = requests_from_words(words);
    if (!requests) return refuse(requests.error());
    o.uds_requests = std::move(*requests);
    return {};
}

}  // namespace

std::string_view command_name(Command command) {
    switch (command) {
        case Command::Info: return "info";
        case Command::Vin: return "vin";
        case Command::Obd: return "obd";
        case Command::Dtc: return "dtc";
        case Command::Uds: return "uds";
        case Command::Monitor: return "monitor";
        case Command::Kline: return "kline";
        case Command::Register: return "register";
        case Command::Unregister: return "unregister";
        case Command::None: break;
    }
    return "";
}

std::expected<Options, UsageError> parse_command_line(std::span<const std::string_view> args) {
    Parsed p;
    const auto app = declare(p);
    // CLI11 takes the words last first.
    std::vector<std::string> words;
    bool after_command = false;
    for (const std::string_view arg : args) {
        after_command = after_command || command_named(arg) != Command::None;
        words.emplace_back(after_command && arg == kRequestSeparator ? kRequestSeparatorWord : arg);
    }
    std::reverse(words.begin(), words.end());

    const auto failure = [&](std::string text) {
        const CLI::App* used = used_command(*app);
        const Command named = used == nullptr ? Command::None : command_named(used->get_name());
        return std::unexpected(
            UsageError{std::move(text), named == Command::None && p.help_topic ? command_named(*p.help_topic) : named});
    };
    try {
        app->parse(std::move(words));
    } catch (const CLI::ArgumentMismatch& error) {
        return failure(mismatch_text(error.what()));
    } catch (const CLI::ParseError& error) {
        return failure(error.what());
    }
    const CLI::App* used = used_command(*app);
    if (const auto extras = app->remaining(true); !extras.empty()) {
        std::string word = extras.front();
        if (word == kRequestSeparatorWord) word = kRequestSeparator;
        return failure(extra_text(*app, used, word));
    }
    Options& o = p.options;
    if (used != nullptr && used->get_name() == "help") {
        o.help = true;
        if (p.help_topic) {
            o.command = command_named(*p.help_topic);
            if (o.command == Command::None) return failure("unknown command " + in_quotes(*p.help_topic));
        }
        return o;
    }
    if (used != nullptr) o.command = command_named(used->get_name());
    if (o.help || o.version) return o;
    if (o.command == Command::None) return failure("no command given");
    if (auto completed = complete(p); !completed) return failure(completed.error());
    return o;
}

std::string help_text(Command command) {
    Parsed p;
    const auto app = declare(p);
    if (command == Command::None) return app->help();
    return app->get_subcommand(std::string(command_name(command)))->help();
}

std::string man_page(std::string_view page) {
    Parsed p;
    const auto app = declare(p);
    const std::size_t marker = page.find(kManPageCommands);
    if (marker == std::string_view::npos) return std::string(page);
    return std::string(page.substr(0, marker)) + man_sections(*app, kExitStatus) +
           std::string(page.substr(marker + kManPageCommands.size() + 1));
}

}  // namespace vexo::tools
