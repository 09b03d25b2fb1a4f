#pragma once

#include <CLI/CLI.hpp>
#include <string>
#include <string_view>

// How vexo's declarations read: `vexo --help`, `vexo CMD --help` and the man page's sections, all
// from the one CLI::App. A command's description is its one-line summary, a newline, and what its
// own help says about it; its footer is what follows its options.
namespace vexo::tools {

class HelpFormatter : public CLI::FormatterBase {
public:
    std::string make_help(const CLI::App* app, std::string name, CLI::AppFormatMode mode) const override;
};

// The man page's COMMANDS, OPTIONS and EXIT STATUS sections, in troff.
std::string man_sections(const CLI::App& app, std::string_view exit_status);

}  // namespace vexo::tools
