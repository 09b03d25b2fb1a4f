#include "obd_bus.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <utility>

#include "core/text_format.h"
#include "obd_decode.h"

namespace vexo::tools {

namespace {

// ECUs answer a broadcast within 50 ms of each other; this leaves room for the cable's own latency.
constexpr std::chrono::milliseconds kSettle{150};
constexpr std::array<std::uint8_t, 2> kSupportedPids = {0x01, 0x00};

std::string labels(const std::vector<std::uint32_t>& ecus, bool extended) {
    std::string text;
    for (const std::uint32_t ecu : ecus) text += (text.empty() ? "" : " ") + ecu_label(ecu, extended);
    return text;
}

}  // namespace

ObdBus::ObdBus(Session session, const Options& options, bool search)
    : session_(std::move(session)),
      options_(&options),
      setup_{options.baud, iso_tp_link(options).extended},
      every_ecu_(options.functional && !options.rx_given),
      may_probe_(search && !options.bus_given) {}

Result<ObdBus> ObdBus::connect(const CommandContext& context, bool search) {
    auto session = open_session(context);
    if (!session) return std::unexpected(session.error());
    ObdBus bus(std::move(*session), context.options, search);
    // Every ECU: who is there is learned by asking, under each set-up that may be tried.
    if (auto connected = bus.every_ecu_ ? bus.probe({}) : bus.connect_physical(); !connected)
        return std::unexpected(connected.error());
    return bus;
}

VoidResult ObdBus::connect_physical() {
    const IsoTpLink link = iso_tp_link(*options_);
    request_id_ = link.request_id;
    ecus_ = {link.response_id};
    return connect_iso15765(session_, link, setup_.baud);
}

VoidResult ObdBus::reconnect(const CanSetup& setup) {
    if (auto ended = session_.disconnect(); !ended) return ended;
    return session_.connect(ISO15765, setup.extended ? CAN_29BIT_ID : 0, setup.baud);
}

Result<std::vector<std::uint32_t>> ObdBus::discover(const CanSetup& setup) {
    const bool extended = setup.extended;
    if (auto connected = reconnect(setup); !connected) return std::unexpected(connected.error());
    // One filter for every response ID: the answers to 01 00 are single frames and need no flow control.
    if (auto filter = start_flow_control(session_, response_id_mask(extended), response_id_pattern(extended),
                                         functional_request_id(extended), extended);
        !filter)
        return std::unexpected(filter.error());
    if (auto cleared = session_.clear_rx_buffer(); !cleared) return std::unexpected(cleared.error());
    if (auto sent = send_iso15765(session_, functional_request_id(extended), extended, kSupportedPids,
                                  options_->timeout_ms);
        !sent)
        return std::unexpected(sent.error());
    const AnswerOf obd_answer = [extended](const ReceivedMessage& message) -> std::optional<EcuAnswer> {
        auto answer = iso15765_answer(message);
        if (!answer || !is_obd_response_id(answer->ecu, extended)) return std::nullopt;
        return answer;
    };
    auto answers = collect_answers(session_, kSupportedPids, 1, options_->timeout_ms, obd_answer, {}, kSettle);
    if (!answers) return std::unexpected(answers.error());
    std::vector<std::uint32_t> ecus;
    for (const EcuAnswer& answer : *answers) ecus.push_back(answer.ecu);
    std::sort(ecus.begin(), ecus.end());
    return ecus;
}

VoidResult ObdBus::attach(const CanSetup& setup, std::vector<std::uint32_t> ecus) {
    const bool extended = setup.extended;
    if (auto connected = reconnect(setup); !connected) return connected;
    for (const std::uint32_t ecu : ecus) {
        if (auto filter = start_flow_control(session_, 0xFFFFFFFF, ecu, physical_request_id(ecu, extended), extended);
            !filter)
            return filter;
    }
    setup_ = setup;
    ecus_ = std::move(ecus);
    request_id_ = every_ecu_ ? functional_request_id(extended) : physical_request_id(ecus_.front(), extended);
    return session_.clear_rx_buffer();
}

VoidResult ObdBus::probe(const std::string& silent_ecu) {
    const CanSetup first = setup_;
    std::string silent;
    for (const CanSetup& setup : may_probe_ ? setups_to_try(first) : std::vector<CanSetup>{first}) {
        auto found = discover(setup);
        if (!found) return std::unexpected(found.error());
        if (found->empty()) {
            silent += (silent.empty() ? "" : "; ") + setup_text(setup);
            continue;
        }
        if (!silent.empty() || !silent_ecu.empty()) {
            probed_ = setup != first;
            if (!options_->json) {
                print_err("vexo: " + (silent.empty() ? silent_ecu + " did not answer" : "no answer at " + silent) +
                          ". Answering at " + setup_text(setup) + ": " + labels(*found, setup.extended) +
                          (every_ecu_ ? "" : "; asking " + ecu_label(found->front(), setup.extended)) + "\n");
            }
        }
        if (!every_ecu_) found->resize(1);  // the lowest ID: by convention the engine
        if (auto attached = attach(setup, std::move(*found)); !attached) return std::unexpected(attached.error());
        return {};
    }
    auto failure = tool_failure("no ECU answered 01 00 at " + silent);
    failure.error().hint = may_probe_ ? "Is the ignition on?"
                                      : "Is the ignition on? Without --baud, --tx and --rx other set-ups are tried.";
    return failure;
}

Result<std::vector<EcuAnswer>> ObdBus::exchange(std::span<const std::uint8_t> request, std::size_t echo_length,
                                                std::span<const std::uint32_t> from) {
    if (auto sent = send_iso15765(session_, request_id_, setup_.extended, request, options_->timeout_ms); !sent)
        return std::unexpected(sent.error());
    const std::span<const std::uint32_t> expected = from.empty() ? std::span<const std::uint32_t>(ecus_) : from;
    const AnswerOf answer_of = [](const ReceivedMessage& message) { return iso15765_answer(message); };
    auto answers = collect_answers(session_, request, echo_length, options_->timeout_ms, answer_of, expected);
    if (!answers) return answers;
    const auto rank = [this](std::uint32_t ecu) { return std::find(ecus_.begin(), ecus_.end(), ecu) - ecus_.begin(); };
    std::sort(answers->begin(), answers->end(),
              [&](const EcuAnswer& a, const EcuAnswer& b) { return rank(a.ecu) < rank(b.ecu); });
    return answers;
}

Result<std::vector<EcuAnswer>> ObdBus::request(std::span<const std::uint8_t> request, std::size_t echo_length,
                                               std::span<const std::uint32_t> from) {
    const bool first = std::exchange(first_exchange_, false);
    auto answers = exchange(request, echo_length, from);
    if (!answers || !answers->empty() || !first || every_ecu_ || !may_probe_) return answers;
    auto found = probe(label(ecus_.front()));
    if (!found) return std::unexpected(found.error());
    return exchange(request, echo_length, {});
}

ToolError ObdBus::no_answer(std::span<const std::uint8_t> request) const {
    const std::string from = every_ecu_ ? "any ECU" : label(ecus_.front());
    return tool_failure(no_answer_text(request, from, options_->timeout_ms)).error();
}

void ObdBus::add_setup(Json& json) const {
    if (!probed_) return;
    json["bus"] = {{"baud", setup_.baud}, {"id_bits", setup_.extended ? 29 : 11}};
}

ToolError refusal(const ObdBus& bus, std::uint32_t ecu, std::span<const std::uint8_t> request,
                  std::span<const std::uint8_t> answer) {
    const std::uint8_t nrc = answer.size() >= 3 ? answer[2] : 0;
    return tool_failure(bus.label(ecu) + " refused " + text::byte_list(request) + ": " + std::string(nrc_name(nrc)) +
                        " (" + text::byte_list(answer) + ")")
        .error();
}

std::string line_start(const ObdBus& bus, std::uint32_t ecu) { return bus.every_ecu() ? bus.label(ecu) + "  " : ""; }

}  // namespace vexo::tools
