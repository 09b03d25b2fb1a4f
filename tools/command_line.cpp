#include "command_line.h"

#include <algorithm>
#include <array>
#include <initializer_list>
#include <iterator>
#include <utility>

#include "hex_text.h"
#include "uds_requests.h"

namespace vexo::tools {

namespace {

struct CommandEntry {
    Command command;
    std::string_view name;
};

constexpr std::array<CommandEntry, 9> kCommands = {{
    {Command::Info, "info"},
    {Command::Vin, "vin"},
    {Command::Obd, "obd"},
    {Command::Dtc, "dtc"},
    {Command::Uds, "uds"},
    {Command::Monitor, "monitor"},
    {Command::Kline, "kline"},
    {Command::Register, "register"},
    {Command::Unregister, "unregister"},
}};

constexpr unsigned bit(Command command) { return 1u << static_cast<unsigned>(command); }
constexpr unsigned kEveryCommand = 0;
constexpr unsigned kRequestCommands = bit(Command::Vin) | bit(Command::Obd) | bit(Command::Dtc) | bit(Command::Uds);
constexpr unsigned kObdCommands = bit(Command::Vin) | bit(Command::Obd) | bit(Command::Dtc);

struct OptionEntry {
    std::string_view name;
    bool takes_value;
    unsigned commands;  // kEveryCommand, or the commands it applies to
};

constexpr std::array<OptionEntry, 33> kOptions = {{
    {"--help", false, kEveryCommand},
    {"-h", false, kEveryCommand},
    {"--version", false, kEveryCommand},
    {"--json", false, kEveryCommand},
    {"--lib", true, kEveryCommand},
    {"--abi", true, kEveryCommand},
    {"--sim", false, kEveryCommand},
    {"--sim-lib", true, kEveryCommand},
    {"--sim-vehicle", true, kEveryCommand},
    {"--sim-cables", true, kEveryCommand},
    {"--trace-dir", true, kEveryCommand},
    {"--no-trace", false, kEveryCommand},
    {"--timeout", true, kRequestCommands | bit(Command::Kline)},
    {"--baud", true, kRequestCommands | bit(Command::Monitor)},
    {"--tx", true, kRequestCommands},
    {"--rx", true, kRequestCommands},
    {"--functional", false, kObdCommands},
    {"--watch", false, bit(Command::Obd)},
    {"--clear", false, bit(Command::Dtc)},
    {"--yes", false, bit(Command::Dtc)},
    {"--proto", true, bit(Command::Monitor)},
    {"--id", true, bit(Command::Monitor)},
    {"--mask", true, bit(Command::Monitor)},
    {"--count", true, bit(Command::Monitor)},
    {"--filter", true, bit(Command::Monitor)},
    {"--duration", true, bit(Command::Monitor)},
    {"--format", true, bit(Command::Monitor)},
    {"--time", true, bit(Command::Monitor)},
    {"--log", true, bit(Command::Monitor)},
    {"--request", true, bit(Command::Kline)},
    {"--script", true, bit(Command::Uds)},
    {"--keepalive", true, bit(Command::Uds)},
    {"--key-cmd", true, bit(Command::Uds)},
}};

const OptionEntry* find_option(std::string_view name) {
    for (const OptionEntry& entry : kOptions) {
        if (entry.name == name) return &entry;
    }
    return nullptr;
}

bool applies_to(const OptionEntry& option, Command command) {
    return option.commands == kEveryCommand || (option.commands & bit(command)) != 0;
}

std::unexpected<std::string> failure(std::string text) { return std::unexpected(std::move(text)); }

// --id and --mask make one filter once every option is read.
struct MonitorFilterParts {
    std::optional<std::uint32_t> id;
    std::optional<std::uint32_t> mask;
};

struct Pending {
    const OptionEntry* option;
    std::string_view value;
};

// An option that takes one of a few words: "--time is cable, absolute or delta, not 'x'".
template <class T>
std::expected<void, std::string> choose(const Pending& p, T& out,
                                        std::initializer_list<std::pair<std::string_view, T>> words) {
    std::string listed;
    for (auto it = words.begin(); it != words.end(); ++it) {
        if (it->first == p.value) {
            out = it->second;
            return {};
        }
        if (it != words.begin()) listed += std::next(it) == words.end() ? " or " : ", ";
        listed += it->first;
    }
    return failure(std::string(p.option->name) + " is " + listed + ", not '" + std::string(p.value) + "'");
}

std::expected<void, std::string> apply(Options& options, MonitorFilterParts& parts, const Pending& p) {
    const std::string_view name = p.option->name;
    const auto decimal = [&](std::uint32_t& out) -> std::expected<void, std::string> {
        const auto value = parse_decimal_u32(p.value);
        if (!value) return failure(std::string(name) + " needs a decimal number, not '" + std::string(p.value) + "'");
        out = *value;
        return {};
    };
    const auto can_id = [&](std::uint32_t& out) -> std::expected<void, std::string> {
        const auto value = parse_hex_u32(p.value);
        if (!value || *value > 0x1FFFFFFF) {
            return failure(std::string(name) + " needs a hexadecimal CAN ID up to 1FFFFFFF, not '" +
                           std::string(p.value) + "'");
        }
        out = *value;
        return {};
    };

    if (name == "--help" || name == "-h")
        options.help = true;
    else if (name == "--version")
        options.version = true;
    else if (name == "--json")
        options.json = true;
    else if (name == "--lib")
        options.library = std::filesystem::path(std::string(p.value));
    else if (name == "--abi")
        return choose(p, options.abi.emplace(), {{"platform", Abi::Platform}, {"fixed32", Abi::Fixed32}});
    else if (name == "--sim")
        options.sim = true;
    else if (name == "--no-trace")
        options.no_trace = true;
    else if (name == "--trace-dir") {
        if (p.value.empty()) return failure("--trace-dir needs a directory");
        options.trace_dir = std::filesystem::path(std::string(p.value));
    }
    else if (name == "--sim-lib")
        options.sim_library = std::filesystem::path(std::string(p.value));
    else if (name == "--sim-vehicle") {
        if (p.value.empty()) return failure("--sim-vehicle needs a name");
        options.sim_vehicle = std::string(p.value);
    } else if (name == "--sim-cables") {
        if (auto ok = decimal(options.sim_cables); !ok) return ok;
        if (options.sim_cables > 8) return failure("--sim-cables takes 0 to 8");
    } else if (name == "--timeout")
        return decimal(options.timeout_ms);
    else if (name == "--baud") {
        if (auto ok = decimal(options.baud); !ok) return ok;
        if (options.baud < kMinBaud || options.baud > kMaxBaud) {
            return failure("--baud takes " + std::to_string(kMinBaud) + " to " + std::to_string(kMaxBaud) +
                           ", not '" + std::string(p.value) + "'");
        }
    }
    else if (name == "--tx")
        return can_id(options.tx_id);
    else if (name == "--rx")
        return can_id(options.rx_id);
    else if (name == "--functional")
        options.functional = true;
    else if (name == "--watch")
        options.watch = true;
    else if (name == "--clear")
        options.clear = true;
    else if (name == "--yes")
        options.yes = true;
    else if (name == "--id")
        return can_id(parts.id.emplace());
    else if (name == "--mask")
        return can_id(parts.mask.emplace());
    else if (name == "--filter") {
        const std::size_t colon = p.value.find(':');
        const auto id = parse_hex_u32(p.value.substr(0, colon));
        const auto mask = colon == std::string_view::npos ? id : parse_hex_u32(p.value.substr(colon + 1));
        if (!id || !mask || *id > 0x1FFFFFFF || *mask > 0x1FFFFFFF) {
            return failure("--filter needs ID or ID:MASK, hexadecimal up to 1FFFFFFF, not '" + std::string(p.value) +
                           "'");
        }
        options.filters.push_back({*id, colon == std::string_view::npos ? exact_mask(*id) : *mask});
    } else if (name == "--duration") {
        std::uint32_t seconds = 0;
        if (auto ok = decimal(seconds); !ok) return ok;
        if (seconds == 0) return failure("--duration needs at least 1 second");
        options.duration_s = seconds;
    } else if (name == "--format") {
        return choose(p, options.monitor_format, {{"table", MonitorFormat::Table}, {"candump", MonitorFormat::Candump}});
    } else if (name == "--time") {
        return choose(p, options.monitor_time, {{"cable", MonitorTime::Cable},
                                                {"absolute", MonitorTime::Absolute},
                                                {"delta", MonitorTime::Delta}});
    } else if (name == "--log") {
        if (p.value.empty()) return failure("--log needs a file name");
        options.log_file = std::filesystem::path(std::string(p.value));
    }
    else if (name == "--count") {
        std::uint32_t count = 0;
        if (auto ok = decimal(count); !ok) return ok;
        if (count == 0) return failure("--count needs at least 1");
        options.count = count;
    } else if (name == "--proto") {
        return choose(p, options.monitor_protocol,
                      {{"can", MonitorProtocol::Can}, {"iso15765", MonitorProtocol::Iso15765}});
    } else if (name == "--script") {
        if (p.value.empty()) return failure("--script needs a file name, or - for standard input");
        options.uds_script = std::string(p.value);
    } else if (name == "--keepalive") {
        return decimal(options.keepalive_ms);
    } else if (name == "--key-cmd") {
        if (p.value.empty()) return failure("--key-cmd needs a command");
        options.key_command = std::string(p.value);
    } else if (name == "--request") {
        const auto bytes = parse_hex_bytes(p.value);
        if (!bytes) return failure("--request needs hexadecimal bytes, not '" + std::string(p.value) + "'");
        if (bytes->size() > 63) return failure("--request takes at most 63 bytes");
        options.request = *bytes;
    }
    return {};
}

std::optional<Command> find_command(std::string_view name) {
    for (const CommandEntry& entry : kCommands) {
        if (entry.name == name) return entry.command;
    }
    return std::nullopt;
}

}  // namespace

Command command_named_in(std::span<const std::string_view> args) {
    for (const std::string_view arg : args) {
        if (const auto command = find_command(arg)) return *command;
    }
    return Command::None;
}

std::string_view command_name(Command command) {
    for (const CommandEntry& entry : kCommands) {
        if (entry.command == command) return entry.name;
    }
    return "";
}

std::expected<Options, std::string> parse_command_line(std::span<const std::string_view> args) {
    Options options;
    std::vector<Pending> pending;
    std::vector<std::string_view> positional;

    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string_view arg = args[i];
        // "--" separates the requests of a uds session.
        if (arg == "--" && options.command != Command::None) {
            positional.push_back(arg);
            continue;
        }
        if (arg.size() < 2 || arg[0] != '-') {
            if (options.command == Command::None && positional.empty()) {
                // `vexo help CMD` is `vexo CMD --help`, as in git.
                if (arg == "help" && !options.help) {
                    options.help = true;
                    continue;
                }
                const auto command = find_command(arg);
                if (!command) return failure("unknown command '" + std::string(arg) + "'");
                options.command = *command;
            } else {
                positional.push_back(arg);
            }
            continue;
        }
        std::string_view name = arg;
        std::optional<std::string_view> inline_value;
        if (const std::size_t eq = arg.find('='); eq != std::string_view::npos) {
            name = arg.substr(0, eq);
            inline_value = arg.substr(eq + 1);
        }
        const OptionEntry* option = find_option(name);
        if (option == nullptr) return failure("unknown option '" + std::string(name) + "'");
        if (!option->takes_value) {
            if (inline_value) return failure(std::string(name) + " takes no value");
            pending.push_back({option, {}});
            continue;
        }
        if (inline_value) {
            pending.push_back({option, *inline_value});
        } else if (i + 1 < args.size()) {
            pending.push_back({option, args[++i]});
        } else {
            return failure(std::string(name) + " needs a value");
        }
    }
    MonitorFilterParts parts;
    for (const Pending& p : pending) {
        if (auto applied = apply(options, parts, p); !applied) return std::unexpected(applied.error());
    }
    if (parts.mask && !parts.id) return failure("--mask needs --id");
    // An ID alone is that ID, as with --filter: "--id 105" must not show every ID.
    if (parts.id) options.filters.insert(options.filters.begin(), {*parts.id, parts.mask.value_or(exact_mask(*parts.id))});
    if (options.help || options.version) return options;
    if (options.command == Command::None) return failure("no command given");

    for (const Pending& p : pending) {
        if (!applies_to(*p.option, options.command)) {
            return failure(std::string(p.option->name) + " does not apply to " +
                           std::string(command_name(options.command)));
        }
    }
    const auto given = [&](std::string_view name) {
        return std::any_of(pending.begin(), pending.end(), [&](const Pending& p) { return p.option->name == name; });
    };
    if (!options.sim && (options.sim_library || options.sim_vehicle || given("--sim-cables"))) {
        return failure("--sim-lib, --sim-vehicle and --sim-cables need --sim");
    }
    if (options.no_trace && options.trace_dir) return failure("--trace-dir and --no-trace exclude each other");
    const bool tx_given = given("--tx");
    if (options.functional && tx_given) return failure("--functional and --tx exclude each other");

    if (options.command == Command::Uds) {
        if (std::find(positional.begin(), positional.end(), "-") != positional.end()) {
            if (positional.size() != 1) return failure("uds: '-' reads every request from standard input, alone");
            if (options.uds_script) return failure("uds: '-' and --script exclude each other");
            options.uds_script = "-";
        } else if (!positional.empty() || !options.uds_script) {
            auto requests = requests_from_words(positional);
            if (!requests) return std::unexpected(requests.error());
            options.uds_requests = std::move(*requests);
        }
    } else if (!positional.empty()) {
        return failure("unexpected argument '" + std::string(positional.front()) + "'");
    }
    if (options.command == Command::Kline && options.request.empty()) options.request = {0x01, 0x00};
    if (options.functional) options.tx_id = kObdFunctionalId;
    options.rx_given = given("--rx");
    options.bus_given = given("--baud") || tx_given || options.rx_given;
    return options;
}

}  // namespace vexo::tools
