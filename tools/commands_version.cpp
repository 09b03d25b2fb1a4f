#include "commands.h"
#include "library_location.h"
#include "vexo/version.h"

namespace vexo::tools {

namespace {

// The library's version is what it reports through PassThruReadVersion, which needs an open cable;
// `opened` is empty when none could be opened, `library` when none was found or loaded.
void print_version(const Options& options, const std::string& library, std::optional<Abi> abi,
                   const std::string& why_not, const std::optional<VersionTexts>& opened) {
    const auto trace = trace_file(options);
    if (options.json) {
        Json json = json_report("version");
        json["vexo_version"] = VEXO_VERSION_TEXT;
        json["library"] = library.empty() ? Json(nullptr) : Json(library);
        json["abi"] = abi ? Json(abi_name(*abi)) : Json(nullptr);
        json["dll_version"] = opened ? Json(opened->dll) : Json(nullptr);
        json["firmware_version"] = opened ? Json(opened->firmware) : Json(nullptr);
        if (!why_not.empty()) json["not_opened"] = why_not;
        json["trace"] = trace ? Json(path_text(*trace)) : Json(nullptr);
        print_json(json);
        return;
    }
    std::string text = std::string("vexo ") + VEXO_VERSION_TEXT + "\n";
    text += "library:  " + (library.empty() ? std::string("none") : library) + "\n";
    if (abi) text += "abi:      " + abi_text(*abi) + "\n";
    if (opened) {
        text += "dll:      " + opened->dll + "\nfirmware: " + opened->firmware + "\n";
    } else {
        text += "dll:      not opened (" + why_not + ")\n";
    }
    text += "trace:    " + (trace ? path_text(*trace) : std::string("off")) + "\n";
    print_out(text);
}

}  // namespace

int report_version_without_library(const Options& options, const ToolError& why) {
    print_version(options, "", std::nullopt, why.text, std::nullopt);
    return kExitOk;
}

Result<int> run_version(const CommandContext& context) {
    const std::string library = path_text(context.library.path());
    const Abi abi = context.library.abi();
    auto session = open_session(context);
    if (!session) {
        print_version(context.options, library, abi, session.error().text, std::nullopt);
        return kExitOk;
    }
    const auto versions = session->read_version();
    if (!versions) {
        print_version(context.options, library, abi, versions.error().text, std::nullopt);
        return kExitOk;
    }
    if (auto closed = finish(*session); !closed) return std::unexpected(closed.error());
    print_version(context.options, library, abi, "", *versions);
    return kExitOk;
}

}  // namespace vexo::tools
