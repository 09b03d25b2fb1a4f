// dtc: stored (03), pending (07) and permanent (0A) trouble codes, and clearing them (04).
#include <array>
#include <cctype>
#include <cstdio>
#include <optional>

#include "commands.h"
#include "console.h"
#include "core/text_format.h"
#include "obd_bus.h"
#include "obd_decode.h"

namespace vexo::tools {

namespace {

struct DtcReport {
    std::uint32_t ecu;
    std::vector<std::string> codes{};
    std::vector<std::uint8_t> response{};
    std::optional<std::vector<std::string>> pending{};
    std::optional<std::vector<std::string>> permanent{};
    bool cleared = false;
    std::optional<std::string> clear_refused{};  // the refusal's name
    std::optional<std::vector<std::string>> after_clear{};
};

bool confirmed_by_user() {
    print_err("Clear all stored trouble codes and freeze-frame data in the vehicle? [y/N] ");
    std::array<char, 64> answer{};
    if (std::fgets(answer.data(), static_cast<int>(answer.size()), stdin) == nullptr) {
        print_err("\n");
        return false;
    }
    std::string text(answer.data());
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ')) text.pop_back();
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text == "y" || text == "yes";
}

// Mode 03 from every ECU asked; one that refuses or says something else fails the command, as the codes
// are what the user came for.
Result<std::vector<DtcReport>> read_stored_codes(ObdBus& bus, std::span<const std::uint32_t> from) {
    const std::array<std::uint8_t, 1> request = {0x03};
    const auto answers = bus.request(request, 0, from);
    if (!answers) return std::unexpected(answers.error());
    if (answers->empty()) return std::unexpected(bus.no_answer(request));
    std::vector<DtcReport> reports;
    for (const EcuAnswer& answer : *answers) {
        if (answer.payload[0] == kNegativeResponse)
            return std::unexpected(refusal(bus, answer.ecu, request, answer.payload));
        auto codes = decode_dtc_response(answer.payload);
        if (!codes) return tool_failure("unexpected answer to 03: " + text::byte_list(answer.payload));
        reports.push_back({.ecu = answer.ecu, .codes = std::move(*codes), .response = answer.payload});
    }
    return reports;
}

// Pending (07) and permanent (0A) codes: an ECU that lacks the mode refuses it or stays silent, and then
// there is nothing to show for it.
VoidResult read_other_codes(ObdBus& bus, std::uint8_t mode, std::vector<DtcReport>& reports) {
    const std::array<std::uint8_t, 1> request = {mode};
    const auto ecus = ecus_of(reports);
    const auto answers = bus.request(request, 0, ecus);
    if (!answers) return std::unexpected(answers.error());
    for (const EcuAnswer& answer : *answers) {
        DtcReport* report = report_of(reports, answer.ecu);
        if (report == nullptr) continue;
        (mode == 0x07 ? report->pending : report->permanent) = decode_dtc_response(answer.payload);
    }
    return {};
}

std::string codes_text(const std::vector<std::string>& codes, std::string_view kind = "stored") {
    if (codes.empty()) return "no " + std::string(kind) + " trouble codes";
    std::string text = std::to_string(codes.size()) + " " + std::string(kind) + " trouble code" +
                       (codes.size() == 1 ? "" : "s") + ":";
    for (const std::string& code : codes) text += " " + code;
    return text;
}

// Mode 04 to every ECU that reported codes, then mode 03 again: a fault still present sets its code
// again, and the user should see it.
VoidResult clear_codes(ObdBus& bus, std::vector<DtcReport>& reports, bool json) {
    const std::array<std::uint8_t, 1> request = {0x04};
    const auto ecus = ecus_of(reports);
    const auto answers = bus.request(request, 0, ecus);
    if (!answers) return std::unexpected(answers.error());
    if (answers->empty()) return std::unexpected(bus.no_answer(request));
    std::string text;
    for (const EcuAnswer& answer : *answers) {
        DtcReport* report = report_of(reports, answer.ecu);
        if (report == nullptr) continue;
        if (answer.payload[0] == kNegativeResponse) {
            if (!bus.every_ecu()) return std::unexpected(refusal(bus, answer.ecu, request, answer.payload));
            report->clear_refused = nrc_name(answer.payload.size() >= 3 ? answer.payload[2] : 0);
            text += line_start(bus, answer.ecu) + "refused to clear: " + *report->clear_refused + "\n";
        } else {
            report->cleared = true;
            text += line_start(bus, answer.ecu) + "trouble codes cleared\n";
        }
    }
    if (!json) print_out(text);
    auto after = read_stored_codes(bus, ecus);
    if (!after) return std::unexpected(after.error());
    text.clear();
    for (DtcReport& read_again : *after) {
        DtcReport* report = report_of(reports, read_again.ecu);
        if (report == nullptr) continue;
        report->after_clear = std::move(read_again.codes);
        text += line_start(bus, report->ecu) + "after clearing: " + codes_text(*report->after_clear) + "\n";
    }
    if (!json) print_out(text);
    return {};
}

}  // namespace

Result<int> run_dtc(const CommandContext& context) {
    const Options& options = context.options;
    auto bus = ObdBus::connect(context);
    if (!bus) return std::unexpected(bus.error());
    auto reports = read_stored_codes(*bus, {});
    if (!reports) return std::unexpected(reports.error());
    if (auto read = read_other_codes(*bus, 0x07, *reports); !read) return std::unexpected(read.error());
    if (auto read = read_other_codes(*bus, 0x0A, *reports); !read) return std::unexpected(read.error());
    if (!options.json) {
        std::string text;
        for (const DtcReport& r : *reports) text += line_start(*bus, r.ecu) + codes_text(r.codes) + "\n";
        for (const DtcReport& r : *reports)
            if (r.pending) text += line_start(*bus, r.ecu) + codes_text(*r.pending, "pending") + "\n";
        for (const DtcReport& r : *reports)
            if (r.permanent) text += line_start(*bus, r.ecu) + codes_text(*r.permanent, "permanent") + "\n";
        print_out(text);
    }

    if (options.clear) {
        if (!options.yes && !confirmed_by_user()) {
            if (interrupt_requested()) return interrupted_failure();
            return tool_failure("not confirmed; nothing was cleared");
        }
        if (auto cleared = clear_codes(*bus, *reports, options.json); !cleared) return std::unexpected(cleared.error());
    }
    if (auto closed = bus->finish(); !closed) return std::unexpected(closed.error());

    if (options.json) {
        Json json = json_report(Command::Dtc);
        bus->add_setup(json);
        add_ecu_reports(json, *bus, *reports, [](Json& out, const DtcReport& r) {
            out["codes"] = r.codes;
            out["response"] = text::byte_list(r.response);
            if (r.pending) out["pending_codes"] = *r.pending;
            if (r.permanent) out["permanent_codes"] = *r.permanent;
            if (r.clear_refused) out["clear_refused"] = *r.clear_refused;
            if (r.after_clear) {
                out["cleared"] = r.cleared;
                out["codes_after_clear"] = *r.after_clear;
            }
        });
        print_json(json);
    }
    return kExitOk;
}

}  // namespace vexo::tools
