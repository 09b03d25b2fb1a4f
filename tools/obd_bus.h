#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "command_support.h"
#include "diag_exchange.h"
#include "obd_addressing.h"

namespace vexo::tools {

// The conversation with ECUs over ISO15765, addressed as OBD-II does (vin, obd, dtc, and uds's own
// requests): the CAN set-up the vehicle uses, the ECUs that answer, and requests to one ECU or, with
// --functional, to every ECU at once. When nothing answers and the user fixed no set-up (--baud,
// --tx, --rx), the other common set-ups are tried and the user is told which one answered.
class ObdBus {
public:
    // Opens the cable and connects. To reach every ECU it first asks 01 00 of all and keeps those that
    // answer, so that each gets its own flow control. `search` lets the set-ups be tried when the
    // user fixed none.
    static Result<ObdBus> connect(const CommandContext& context, bool search = true);

    bool every_ecu() const { return every_ecu_; }
    const CanSetup& setup() const { return setup_; }
    // The response IDs of the ECUs talked to, lowest first.
    const std::vector<std::uint32_t>& ecus() const { return ecus_; }
    std::string label(std::uint32_t ecu) const { return ecu_label(ecu, setup_.extended); }
    // Where requests go: one ECU's physical ID, or the functional one.
    std::uint32_t request_id() const { return request_id_; }
    Session& session() { return session_; }

    // Sends `request` to the ECU, or to all, and returns the final answers of those in `from` (every ECU
    // when empty) that gave one, in the order of ecus(). Silence is no failure here, except on the run's
    // first exchange when it may still be the set-up: then the others are tried and the request repeated.
    Result<std::vector<EcuAnswer>> request(std::span<const std::uint8_t> request, std::size_t echo_length,
                                           std::span<const std::uint32_t> from = {});
    // What to say when the ECUs asked stayed silent: "no answer to 09 02 from 7E8 within 1000 ms".
    ToolError no_answer(std::span<const std::uint8_t> request) const;

    // A JSON report names the set-up when it had to be found.
    void add_setup(Json& json) const;

    VoidResult finish() { return tools::finish(session_); }

private:
    ObdBus(Session session, const Options& options, bool search);

    VoidResult connect_physical();
    // A fresh ISO15765 channel under `setup`: the old one goes, and its filters with it.
    VoidResult reconnect(const CanSetup& setup);
    // Asks every ECU 01 00 under `setup`; returns the response IDs that answered.
    Result<std::vector<std::uint32_t>> discover(const CanSetup& setup);
    // Connects under `setup` with a flow-control filter for each of `ecus`.
    VoidResult attach(const CanSetup& setup, std::vector<std::uint32_t> ecus);
    // Tries the set-ups until ECUs answer and connects to them; `silent_ecu` is the one that did not.
    VoidResult probe(const std::string& silent_ecu);
    Result<std::vector<EcuAnswer>> exchange(std::span<const std::uint8_t> request, std::size_t echo_length,
                                            std::span<const std::uint32_t> from);

    Session session_;
    const Options* options_;
    CanSetup setup_;
    bool every_ecu_;
    bool may_probe_;
    bool first_exchange_ = true;
    bool probed_ = false;
    std::uint32_t request_id_ = 0;
    std::vector<std::uint32_t> ecus_;
};

// "7E8 refused 09 02: requestOutOfRange (7F 09 31)"
ToolError refusal(const ObdBus& bus, std::uint32_t ecu, std::span<const std::uint8_t> request,
                  std::span<const std::uint8_t> answer);

// What starts each line about `ecu`: its label when every ECU is asked, else nothing.
std::string line_start(const ObdBus& bus, std::uint32_t ecu);

// The IDs of per-ECU records, in their order, and the record of one ECU (null when it has none).
template <class Report>
std::vector<std::uint32_t> ecus_of(const std::vector<Report>& reports) {
    std::vector<std::uint32_t> ecus;
    for (const Report& report : reports) ecus.push_back(report.ecu);
    return ecus;
}
template <class Report>
Report* report_of(std::vector<Report>& reports, std::uint32_t ecu) {
    for (Report& report : reports)
        if (report.ecu == ecu) return &report;
    return nullptr;
}

// One report per ECU, each an object written by `write`: at the top level of `json` for a single ECU, or
// as the array "ecus" of objects that start with "ecu" when every ECU was asked.
template <class Report, class Write>
void add_ecu_reports(Json& json, const ObdBus& bus, const std::vector<Report>& reports, Write write) {
    if (!bus.every_ecu()) {
        for (const Report& report : reports) write(json, report);
        return;
    }
    Json& ecus = json["ecus"] = Json::array();
    for (const Report& report : reports) {
        Json ecu = {{"ecu", bus.label(report.ecu)}};
        write(ecu, report);
        ecus.push_back(std::move(ecu));
    }
}

}  // namespace vexo::tools
