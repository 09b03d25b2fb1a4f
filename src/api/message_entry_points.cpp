#include <algorithm>

#include "api/caller_values.h"
#include "api/entry_frame.h"
#include "api/marshalling.h"
#include "core/text_format.h"

namespace vexo::api {

namespace {

constexpr std::size_t kReadSummaryBytes = 16;
constexpr std::size_t kWriteSummaryBytes = 24;

// From the caller's first record as it came, so that a refused one is shown too.
std::string write_summary(const PASSTHRU_MSG* msgs, std::uint32_t count) {
    if (count == 0) return {};
    return "tx_flags=" + text::hex_prefixed(msgs[0].TxFlags) + " data=[" +
           leading_bytes_text(data_of(msgs[0]), kWriteSummaryBytes) + "]";
}

// The three messages; the filter type is the caller's to narrow.
Result<FilterSpec> filter_from(const PASSTHRU_MSG& mask, const PASSTHRU_MSG& pattern, const PASSTHRU_MSG* flow) {
    auto mask_msg = message_from_passthru(mask);
    if (!mask_msg) return fail(mask_msg.error());
    auto pattern_msg = message_from_passthru(pattern);
    if (!pattern_msg) return fail(pattern_msg.error());
    FilterSpec filter{.mask = std::move(*mask_msg), .pattern = std::move(*pattern_msg), .flow_control = std::nullopt};
    if (flow != nullptr) {
        auto flow_msg = message_from_passthru(*flow);
        if (!flow_msg) return fail(flow_msg.error());
        filter.flow_control = std::move(*flow_msg);
    }
    return filter;
}

}  // namespace

}  // namespace vexo::api

using namespace vexo;
using namespace vexo::api;
using text::dec;
using Argument = PassThruError::Argument;

J2534_STATUS J2534_CALL PassThruReadMsgs(J2534_ULONG ChannelID, PASSTHRU_MSG* pMsg, J2534_ULONG* pNumMsgs,
                                         J2534_ULONG Timeout) {
    if (pNumMsgs == nullptr) return ERR_NULL_PARAMETER;
    const std::uint32_t max_msgs = saturated(*pNumMsgs);
    // Until messages are delivered, none were: a failed read must not leave the caller's count.
    *pNumMsgs = 0;
    if (pMsg == nullptr) return ERR_NULL_PARAMETER;
    const std::uint32_t timeout = saturated(Timeout);
    return shielded([&] {
        return run_on_device(
            [&](std::unique_ptr<Device>& device) -> Result<std::vector<Message>> {
                const auto channel_id = narrowed(ChannelID, Argument::ChannelId);
                if (!channel_id) return fail(channel_id.error());
                return device->read_msgs(*channel_id, max_msgs, timeout);
            },
            [&](const std::vector<Message>& read) {
                // A device that returns more than asked for must not write past the caller's array.
                const auto n = static_cast<std::uint32_t>(std::min<std::size_t>(read.size(), max_msgs));
                for (std::uint32_t i = 0; i < n; ++i) message_to_passthru(read[i], pMsg[i]);
                *pNumMsgs = n;
                const std::string first = n == 0 ? std::string() : leading_bytes_text(read[0].data, kReadSummaryBytes);
                log_line("[j2534] PassThruReadMsgs OK ch=" + dec(ChannelID) + " n=" + dec(n) +
                         " timeout=" + dec(Timeout) + " first=[" + first + "]");
                return n == 0 && timeout == 0 ? ERR_BUFFER_EMPTY : STATUS_NOERROR;
            },
            [&] { return "[j2534] PassThruReadMsgs ERR ch=" + dec(ChannelID) + " timeout=" + dec(Timeout); });
    });
}

J2534_STATUS J2534_CALL PassThruWriteMsgs(J2534_ULONG ChannelID, PASSTHRU_MSG* pMsg, J2534_ULONG* pNumMsgs,
                                          J2534_ULONG Timeout) {
    if (pNumMsgs == nullptr) return ERR_NULL_PARAMETER;
    const std::uint32_t count = saturated(*pNumMsgs);
    // Whatever fails from here, the caller learns how many messages went out.
    *pNumMsgs = 0;
    if (pMsg == nullptr) return ERR_NULL_PARAMETER;
    const std::uint32_t timeout = saturated(Timeout);
    return shielded([&] {
        const auto converted = messages_from_passthru(pMsg, count);
        const std::string summary = write_summary(pMsg, count);
        return run_on_device(
            [&](std::unique_ptr<Device>& device) -> Result<std::uint32_t> {
                const auto channel_id = narrowed(ChannelID, Argument::ChannelId);
                if (!channel_id) return fail(channel_id.error());
                if (!converted) return fail(converted.error());
                auto sent = device->write_msgs(*channel_id, *converted, timeout);
                if (!sent) {
                    *pNumMsgs = sent.error().written;
                    return fail(std::move(sent.error()));
                }
                return *sent;
            },
            [&](std::uint32_t sent) {
                log_line("[j2534] PassThruWriteMsgs OK ch=" + dec(ChannelID) + " sent=" + dec(sent) + " first=[" +
                         summary + "]");
                *pNumMsgs = sent;
                return STATUS_NOERROR;
            },
            [&] {
                return "[j2534] PassThruWriteMsgs ERR ch=" + dec(ChannelID) + " n=" + dec(count) + " first=[" +
                       summary + "]";
            });
    });
}

J2534_STATUS J2534_CALL PassThruStartPeriodicMsg(J2534_ULONG ChannelID, PASSTHRU_MSG* pMsg, J2534_ULONG* pMsgID,
                                                 J2534_ULONG TimeInterval) {
    if (pMsg == nullptr || pMsgID == nullptr) return ERR_NULL_PARAMETER;
    return shielded([&] {
        const auto converted = message_from_passthru(*pMsg);
        return run_on_device(
            [&](std::unique_ptr<Device>& device) -> Result<std::uint32_t> {
                const auto values =
                    narrowed({{ChannelID, Argument::ChannelId}, {TimeInterval, Argument::TimeInterval}});
                if (!values) return fail(values.error());
                if (!converted) return fail(converted.error());
                const auto [channel_id, interval] = *values;
                return device->start_periodic_msg(channel_id, *converted, interval);
            },
            [&](std::uint32_t id) {
                *pMsgID = id;
                return STATUS_NOERROR;
            },
            NoFailureLine{});
    });
}

J2534_STATUS J2534_CALL PassThruStopPeriodicMsg(J2534_ULONG ChannelID, J2534_ULONG MsgID) {
    return shielded([&] {
        return run_on_device(
            [&](std::unique_ptr<Device>& device) -> VoidResult {
                const auto values = narrowed({{ChannelID, Argument::ChannelId}, {MsgID, Argument::MsgId}});
                if (!values) return fail(values.error());
                const auto [channel_id, msg_id] = *values;
                return device->stop_periodic_msg(channel_id, msg_id);
            },
            [] { return STATUS_NOERROR; }, NoFailureLine{});
    });
}

J2534_STATUS J2534_CALL PassThruStartMsgFilter(J2534_ULONG ChannelID, J2534_ULONG FilterType, PASSTHRU_MSG* pMaskMsg,
                                               PASSTHRU_MSG* pPatternMsg, PASSTHRU_MSG* pFlowControlMsg,
                                               J2534_ULONG* pFilterID) {
    if (pMaskMsg == nullptr || pPatternMsg == nullptr || pFilterID == nullptr) return ERR_NULL_PARAMETER;
    return shielded([&] {
        const std::string args =
            "ch=" + dec(ChannelID) + " type=" + dec(FilterType) + " mask=[" + text::byte_list(data_of(*pMaskMsg)) +
            "] pattern=[" + text::byte_list(data_of(*pPatternMsg)) + "] flow=[" +
            (pFlowControlMsg != nullptr ? text::byte_list(data_of(*pFlowControlMsg)) : "(none)") + "]";
        auto filter = filter_from(*pMaskMsg, *pPatternMsg, pFlowControlMsg);
        return run_on_device(
            [&](std::unique_ptr<Device>& device) -> Result<std::uint32_t> {
                const auto values = narrowed({{ChannelID, Argument::ChannelId}, {FilterType, Argument::FilterType}});
                if (!values) return fail(values.error());
                if (!filter) return fail(filter.error());
                const auto [channel_id, filter_type] = *values;
                filter->filter_type = filter_type;
                return device->start_msg_filter(channel_id, *filter);
            },
            [&](std::uint32_t id) {
                log_line("[j2534] PassThruStartMsgFilter OK " + args + " id=" + dec(id));
                *pFilterID = id;
                return STATUS_NOERROR;
            },
            [&] { return "[j2534] PassThruStartMsgFilter ERR " + args; });
    });
}

J2534_STATUS J2534_CALL PassThruStopMsgFilter(J2534_ULONG ChannelID, J2534_ULONG FilterID) {
    return shielded([&] {
        const auto args = [&] { return "ch=" + dec(ChannelID) + " id=" + dec(FilterID); };
        return run_on_device(
            [&](std::unique_ptr<Device>& device) -> VoidResult {
                const auto values = narrowed({{ChannelID, Argument::ChannelId}, {FilterID, Argument::FilterId}});
                if (!values) return fail(values.error());
                const auto [channel_id, filter_id] = *values;
                return device->stop_msg_filter(channel_id, filter_id);
            },
            [&] {
                log_line("[j2534] PassThruStopMsgFilter OK " + args());
                return STATUS_NOERROR;
            },
            [&] { return "[j2534] PassThruStopMsgFilter ERR " + args(); });
    });
}
