// vin: OBD mode 09 PID 02 from the ECU, or from every ECU that knows it.
#include <array>

#include "commands.h"
#include "core/text_format.h"
#include "obd_bus.h"
#include "obd_decode.h"

namespace vexo::tools {

namespace {

struct VinReport {
    std::uint32_t ecu;
    std::optional<std::string> vin;
    std::vector<std::uint8_t> response;
};

}  // namespace

Result<int> run_vin(const CommandContext& context) {
    auto bus = ObdBus::connect(context);
    if (!bus) return std::unexpected(bus.error());
    const std::array<std::uint8_t, 2> request = {0x09, 0x02};
    const auto answers = bus->request(request, 1);
    if (!answers) return std::unexpected(answers.error());
    if (answers->empty()) return std::unexpected(bus->no_answer(request));

    std::vector<VinReport> reports;
    for (const EcuAnswer& answer : *answers) {
        // One ECU asked: its refusal is the outcome. Asking all, an ECU without the VIN is just shown so.
        if (!bus->every_ecu() && answer.payload[0] == kNegativeResponse)
            return std::unexpected(refusal(*bus, answer.ecu, request, answer.payload));
        auto vin = decode_vin(answer.payload);
        if (!bus->every_ecu() && !vin)
            return tool_failure("the answer holds no VIN: " + text::byte_list(answer.payload));
        reports.push_back({answer.ecu, std::move(vin), answer.payload});
    }
    if (auto closed = bus->finish(); !closed) return std::unexpected(closed.error());

    if (context.options.json) {
        Json json = json_report(Command::Vin);
        bus->add_setup(json);
        add_ecu_reports(json, *bus, reports, [&](Json& out, const VinReport& report) {
            out["vin"] = json_or_null(report.vin);
            if (!bus->every_ecu()) out["ecu"] = bus->label(report.ecu);
            out["response"] = text::byte_list(report.response);
        });
        print_json(json);
        return kExitOk;
    }
    std::string text;
    for (const VinReport& report : reports) {
        text += line_start(*bus, report.ecu);
        if (report.vin) {
            text += *report.vin;
        } else if (report.response[0] == kNegativeResponse && report.response.size() >= 3) {
            text += "refused: " + std::string(nrc_name(report.response[2]));
        } else {
            text += "no VIN in " + text::byte_list(report.response);
        }
        text += "\n";
    }
    print_out(text);
    return kExitOk;
}

}  // namespace vexo::tools
