#include "help_format.h"

#include <algorithm>
#include <vector>

namespace vexo::tools {

namespace {

constexpr std::size_t kWidth = 80;
constexpr std::size_t kWidestNameColumn = 24;
constexpr char kNoBreak = '\x1F';

std::vector<std::string> paragraphs(std::string_view text) {
    std::vector<std::string> parts;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        if (!text.substr(0, end).empty()) parts.emplace_back(text.substr(0, end));
        text = end == std::string_view::npos ? std::string_view{} : text.substr(end + 1);
    }
    return parts;
}

// `text` broken at blanks into lines of at most kWidth columns, the first starting after `first`
// (which is `indent` columns wide), the others after `indent` blanks.
std::string wrap(std::string_view text, const std::string& first, std::size_t indent) {
    std::string out = first;
    std::size_t column = indent;
    bool line_empty = true;
    while (!text.empty()) {
        const std::size_t end = text.find(' ');
        const std::string_view word = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view{} : text.substr(end + 1);
        if (word.empty()) continue;
        if (!line_empty && column + 1 + word.size() > kWidth) {
            out += "\n" + std::string(indent, ' ');
            column = indent;
            line_empty = true;
        }
        if (!line_empty) {
            out += ' ';
            ++column;
        }
        out += word;
        column += word.size();
        line_empty = false;
    }
    return out + "\n";
}

std::string summary_of(const CLI::App& command) {
    const std::string description = command.get_description();
    return description.substr(0, description.find('\n'));
}

std::string about_of(const CLI::App& command) {
    const std::string description = command.get_description();
    const std::size_t newline = description.find('\n');
    return newline == std::string::npos ? std::string() : description.substr(newline + 1);
}

// "--help, -h", "--lib PATH", "HEX... [-- HEX...]..." (a positional's type name says what may follow it).
std::string option_name(const CLI::Option& option) {
    std::string names;
    if (option.get_positional()) names = option.get_name() + (option.get_expected_max() > 1 ? "..." : "");
    for (const std::string& name : option.get_lnames()) names += (names.empty() ? "--" : ", --") + name;
    for (const std::string& name : option.get_snames()) names += (names.empty() ? "-" : ", -") + name;
    const std::string value = option.get_type_name();
    return value.empty() ? names : names + " " + value;
}

std::string option_description(const CLI::Option& option) {
    const std::string shown_default = option.get_default_str();
    return option.get_description() + (shown_default.empty() ? "" : " (default " + shown_default + ")");
}

bool repeats(const CLI::Option& option) {
    return option.get_multi_option_policy() == CLI::MultiOptionPolicy::TakeAll || option.get_expected_max() > 1;
}

// Options before positionals, each in the order declared.
std::vector<const CLI::Option*> options_of(const CLI::App& app) {
    auto options = app.get_options([](const CLI::Option* option) { return !option->get_group().empty(); });
    std::stable_partition(options.begin(), options.end(), [](const CLI::Option* o) { return o->nonpositional(); });
    return options;
}

std::string option_lines(const std::vector<const CLI::Option*>& options) {
    std::size_t column = 0;
    for (const CLI::Option* option : options) column = std::max(column, option_name(*option).size() + 4);
    column = std::min(column, kWidestNameColumn);
    std::string out;
    for (const CLI::Option* option : options) {
        std::string first = "  " + option_name(*option);
        if (first.size() + 1 > column) {
            out += first + "\n";
            first.clear();
        }
        first.resize(column, ' ');
        out += wrap(option_description(*option), first, column);
    }
    return out;
}

std::string usage_of(const CLI::App& command) {
    const std::string start = "usage: " + command.get_parent()->get_name() + " " + command.get_name() + " ";
    // An item is never broken across lines: its blanks stand in as kNoBreak until it is wrapped.
    std::string items;
    const auto add = [&items](std::string item) {
        std::replace(item.begin(), item.end(), ' ', kNoBreak);
        items += (items.empty() ? "" : " ") + item;
    };
    for (const CLI::Option* option : options_of(command)) {
        const bool again = !option->get_positional() && repeats(*option);
        add("[" + option_name(*option) + (again ? "]..." : "]"));
    }
    // Every command prints JSON when asked.
    if (const CLI::Option* json = command.get_parent()->get_option_no_throw("--json"))
        add("[" + option_name(*json) + "]");
    std::string usage = wrap(items, start, start.size());
    std::replace(usage.begin(), usage.end(), kNoBreak, ' ');
    return usage;
}

std::string general_help(const CLI::App& app) {
    std::string out =
        app.get_description() + "\n\nusage: " + app.get_name() + " [options] COMMAND [command options]\n\n";
    const auto commands = app.get_subcommands([](const CLI::App* sub) { return !sub->get_group().empty(); });
    std::size_t column = 0;
    for (const CLI::App* command : commands) column = std::max(column, command->get_name().size() + 4);
    out += "commands:\n";
    for (const CLI::App* command : commands) {
        std::string first = "  " + command->get_name();
        first.resize(column, ' ');
        out += wrap(summary_of(*command), first, column);
    }
    out += "\noptions for every command:\n" + option_lines(options_of(app));
    for (const std::string& paragraph : paragraphs(app.get_footer())) out += "\n" + wrap(paragraph, "", 0);
    return out;
}

std::string command_help(const CLI::App& command) {
    std::string out = usage_of(command);
    for (const std::string& paragraph : paragraphs(about_of(command))) out += "\n" + wrap(paragraph, "", 0);
    const auto options = options_of(command);
    if (!options.empty()) out += "\n" + option_lines(options);
    for (const std::string& paragraph : paragraphs(command.get_footer())) out += "\n" + wrap(paragraph, "", 0);
    return out;
}

// Text as troff reads it: hyphens that are minus signs, no requests at a line's start.
std::string troff(std::string_view text) {
    std::string out;
    for (const char c : text) {
        if (c == '\\') {
            out += "\\e";
        } else if (c == '-') {
            out += "\\-";
        } else {
            out += c;
        }
    }
    return out.starts_with('.') || out.starts_with('\'') ? "\\&" + out : out;
}

std::string man_option(const CLI::Option& option) {
    const std::string name = option_name(option);
    const std::size_t blank = option.get_positional() ? std::string::npos : name.find(' ');
    std::string out = ".TP\n";
    if (blank == std::string::npos) {
        out += ".B " + troff(name) + "\n";
    } else {
        out += ".BI " + troff(name.substr(0, blank)) + " \" " + troff(name.substr(blank + 1)) + "\"\n";
    }
    return out + troff(option_description(option)) + "\n";
}

}  // namespace

std::string HelpFormatter::make_help(const CLI::App* app, std::string, CLI::AppFormatMode) const {
    return app->get_parent() == nullptr ? general_help(*app) : command_help(*app);
}

std::string man_sections(const CLI::App& app, std::string_view exit_status) {
    std::string out = ".SH COMMANDS\n";
    for (const CLI::App* command : app.get_subcommands([](const CLI::App* sub) { return !sub->get_group().empty(); })) {
        out += ".SS " + command->get_name() + "\n";
        for (const std::string& paragraph : paragraphs(about_of(*command))) out += ".PP\n" + troff(paragraph) + "\n";
        for (const CLI::Option* option : options_of(*command)) out += man_option(*option);
        for (const std::string& paragraph : paragraphs(command->get_footer())) out += ".PP\n" + troff(paragraph) + "\n";
    }
    out += ".SH OPTIONS\nThese apply to every command, before or after its name.\n";
    for (const CLI::Option* option : options_of(app)) out += man_option(*option);
    return out + ".SH EXIT STATUS\n" + troff(exit_status) + "\n";
}

}  // namespace vexo::tools
