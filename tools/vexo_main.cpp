// vexo: a J2534 client. It loads a J2534 04.04 library at run time, as diagnostic applications do, and
// uses nothing but its fourteen exported functions.
#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

#include "command_line.h"
#include "commands.h"
#include "console.h"
#include "dynamic_library.h"
#include "library_location.h"
#include "sim_cable.h"

namespace vexo::tools {

namespace {

Result<std::filesystem::path> locate_library(const Options& options) {
    if (options.library) {
        std::error_code error;
        const std::filesystem::path cwd = std::filesystem::current_path(error);
        return error ? *options.library : given_library(*options.library, cwd);
    }
    const auto file_name = options.abi == Abi::Fixed32 ? kJ2534Fixed32LibraryFileName : kJ2534LibraryFileName;
    const auto candidates = j2534_library_candidates(executable_directory(), file_name);
    if (const auto found = first_existing(candidates)) return *found;
    return tool_failure("no J2534 library found (looked for " + path_list(candidates) + "); give one with --lib PATH");
}

Result<int> dispatch(const CommandContext& context) {
    switch (context.options.command) {
        case Command::Info: return run_info(context);
        case Command::Vin: return run_vin(context);
        case Command::Obd: return run_obd(context);
        case Command::Dtc: return run_dtc(context);
        case Command::Uds: return run_uds(context);
        case Command::Monitor: return run_monitor(context);
        case Command::Kline: return run_kline(context);
        case Command::Register:
        case Command::Unregister:
        case Command::None: break;
    }
    return tool_failure("no command given");
}

Result<int> run_command(const Options& options) {
    if (auto steered = steer_trace(options); !steered) return std::unexpected(steered.error());
    if (!options.version && (options.command == Command::Register || options.command == Command::Unregister)) {
        return options.command == Command::Register ? run_register(options) : run_unregister(options);
    }
    if (!options.version) announce_trace(options);
    // The stand-in goes first: the J2534 library binds to whichever libusb is loaded when it arrives.
    if (options.sim) {
        if (auto attached = attach_simulated_cable(options); !attached) return std::unexpected(attached.error());
    }
    const auto path = locate_library(options);
    if (!path) {
        if (options.version) return report_version_without_library(options, path.error());
        return std::unexpected(path.error());
    }
    const auto library = J2534Library::load(*path, library_abi(*path, options.abi));
    if (!library) {
        if (options.version) return report_version_without_library(options, library.error());
        return std::unexpected(library.error());
    }
    return options.version ? run_version(CommandContext{options, *library})
                           : dispatch(CommandContext{options, *library});
}

int run(const Options& options) {
    prepare_console();
    install_interrupt_handler();
    Result<int> code = kExitOk;
    if (options.help) {
        print_out(help_text(options.command));
    } else {
        code = run_command(options);
    }
    if (!code) return report_failure(code.error(), options.command, options.json);
    // What could not be shown is a failure, whatever the command made of the rest.
    if (auto written = output_status(); !written) return report_failure(written.error(), options.command, false);
    return *code;
}

}  // namespace

}  // namespace vexo::tools

int main(int argc, char** argv) {
    using namespace vexo::tools;
    const std::vector<std::string_view> args(argv + (argc > 0 ? 1 : 0), argv + argc);
    const auto options = parse_command_line(args);
    if (!options) {
        // The user's mistake goes where the answer would have: JSON on stdout when JSON was asked for.
        const Command command = options.error().command;
        const bool json = std::find(args.begin(), args.end(), "--json") != args.end();
        auto usage = usage_failure(options.error().text);
        usage.error().hint = command == Command::None
                                 ? "Try 'vexo --help'."
                                 : "Try 'vexo " + std::string(command_name(command)) + " --help'.";
        return report_failure(usage.error(), command, json);
    }
    return run(*options);
}
