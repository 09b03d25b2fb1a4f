// register / unregister: the user's ~/.passthru file naming vexo's fixed32 library, the one the
// applications that read that folder can load (they declare 32-bit fields).
#include <fstream>
#include <sstream>
#include <system_error>

#include "commands.h"
#include "dynamic_library.h"
#include "library_location.h"
#include "passthru_json.h"

namespace vexo::tools {

namespace {

Result<std::filesystem::path> passthru_file() {
    const auto directory = passthru_directory();
    if (!directory) return tool_failure(directory.error());
    return *directory / kPassThruJsonFileName;
}

// The fixed32 library given with --lib, or the one beside vexo; as an absolute path.
Result<std::filesystem::path> fixed32_library(const Options& options) {
    std::optional<std::filesystem::path> found;
    if (options.library) {
        if (library_abi(*options.library, options.abi) != Abi::Fixed32) {
            const std::string wanted(kJ2534Fixed32LibraryFileName);
            return usage_failure("the applications that read ~/.passthru declare 32-bit fields: give " + wanted);
        }
        found = *options.library;
    } else {
        const auto candidates = j2534_library_candidates(executable_directory(), kJ2534Fixed32LibraryFileName);
        found = first_existing(candidates);
        if (!found) return tool_failure("no fixed32 library found (looked for " + path_list(candidates) + ")");
    }
    std::error_code error;
    const std::filesystem::path absolute = std::filesystem::canonical(*found, error);
    if (error) return tool_failure("cannot find " + path_text(*found) + ": " + error.message());
    return absolute;
}

// The file's text, or nothing when there is no file.
Result<std::optional<std::string>> existing_text(const std::filesystem::path& file) {
    std::error_code error;
    if (!std::filesystem::exists(file, error)) return std::optional<std::string>();
    std::ifstream in(file, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    if (!in) return tool_failure("cannot read " + path_text(file));
    return std::optional<std::string>(text.str());
}

VoidResult refuse_foreign(const std::filesystem::path& file, const std::optional<std::string>& text) {
    if (text && !is_vexo_passthru_json(*text)) {
        return tool_failure(path_text(file) + " was not written by vexo: it is left as it is");
    }
    return {};
}

void report(const Options& options, Command command, const std::filesystem::path& file, std::string_view line,
            const std::optional<std::filesystem::path>& library) {
    if (!options.json) {
        print_out(std::string(line) + "\n");
        return;
    }
    Json json = json_report(command);
    json["file"] = path_text(file);
    json["function_lib"] = library ? Json(path_text(*library)) : Json(nullptr);
    print_json(json);
}

}  // namespace

Result<int> run_register(const Options& options) {
    const auto file = passthru_file();
    if (!file) return std::unexpected(file.error());
    const auto library = fixed32_library(options);
    if (!library) return std::unexpected(library.error());
    const auto text = existing_text(*file);
    if (!text) return std::unexpected(text.error());
    if (auto foreign = refuse_foreign(*file, *text); !foreign) return std::unexpected(foreign.error());

    std::error_code error;
    std::filesystem::create_directories(file->parent_path(), error);
    std::ofstream out(*file, std::ios::binary | std::ios::trunc);
    out << passthru_json(*library);
    out.close();
    if (error || !out) return tool_failure("cannot write " + path_text(*file));
    report(options, Command::Register, *file, path_text(*file) + " names " + path_text(*library), *library);
    return kExitOk;
}

Result<int> run_unregister(const Options& options) {
    const auto file = passthru_file();
    if (!file) return std::unexpected(file.error());
    const auto text = existing_text(*file);
    if (!text) return std::unexpected(text.error());
    if (!*text) {
        report(options, Command::Unregister, *file, "nothing to remove: " + path_text(*file) + " does not exist",
               std::nullopt);
        return kExitOk;
    }
    if (auto foreign = refuse_foreign(*file, *text); !foreign) return std::unexpected(foreign.error());
    std::error_code error;
    if (!std::filesystem::remove(*file, error) || error) {
        return tool_failure("cannot remove " + path_text(*file) + ": " + error.message());
    }
    report(options, Command::Unregister, *file, "removed " + path_text(*file), std::nullopt);
    return kExitOk;
}

}  // namespace vexo::tools
