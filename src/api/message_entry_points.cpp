#include <algorithm>

#include "api/entry_frame.h"
#include "api/entry_points.h"
#include "api/marshalling.h"
#include "core/text_format.h"

namespace vexo::api {

using text::dec;

namespace {

constexpr std::size_t kReadSummaryBytes = 16;
constexpr std::size_t kWriteSummaryBytes = 24;

std::string write_summary(const std::vector<Message>& msgs) {
    if (msgs.empty()) return {};
    const Message& first = msgs.front();
    return "tx_flags=" + text::hex_prefixed(first.tx_flags) + " data=[" +
           leading_bytes_text(first.data, kWriteSummaryBytes) + "]";
}

}  // namespace

std::uint32_t passthru_read_msgs(std::uint32_t channel_id, PASSTHRU_MSG* msgs, std::uint32_t* num_msgs,
                                 std::uint32_t timeout) {
    if (msgs == nullptr || num_msgs == nullptr) return ERR_NULL_PARAMETER;
    const std::uint32_t max_msgs = *num_msgs;
    return shielded([&] {
        return run_on_device(
            [&](std::unique_ptr<Device>& device) { return device->read_msgs(channel_id, max_msgs, timeout); },
            [&](const std::vector<Message>& read) {
                // A device that returns more than asked for must not write past the caller's array.
                const auto n = static_cast<std::uint32_t>(std::min<std::size_t>(read.size(), max_msgs));
                for (std::uint32_t i = 0; i < n; ++i) message_to_passthru(read[i], msgs[i]);
                *num_msgs = n;
                const std::string first = n == 0 ? std::string() : leading_bytes_text(read[0].data, kReadSummaryBytes);
                log_line("[j2534] PassThruReadMsgs OK ch=" + dec(channel_id) + " n=" + dec(n) +
                         " timeout=" + dec(timeout) + " first=[" + first + "]");
                return n == 0 && timeout == 0 ? ERR_BUFFER_EMPTY : STATUS_NOERROR;
            },
            [&] { return "[j2534] PassThruReadMsgs ERR ch=" + dec(channel_id) + " timeout=" + dec(timeout); });
    });
}

std::uint32_t passthru_write_msgs(std::uint32_t channel_id, PASSTHRU_MSG* msgs, std::uint32_t* num_msgs,
                                  std::uint32_t timeout) {
    if (msgs == nullptr || num_msgs == nullptr) return ERR_NULL_PARAMETER;
    const std::uint32_t count = *num_msgs;
    return shielded([&] {
        const std::vector<Message> converted = messages_from_passthru(msgs, count);
        const std::string summary = write_summary(converted);
        return run_on_device(
            [&](std::unique_ptr<Device>& device) { return device->write_msgs(channel_id, converted, timeout); },
            [&](std::uint32_t sent) {
                log_line("[j2534] PassThruWriteMsgs OK ch=" + dec(channel_id) + " sent=" + dec(sent) + " first=[" +
                         summary + "]");
                *num_msgs = sent;
                return STATUS_NOERROR;
            },
            [&] {
                return "[j2534] PassThruWriteMsgs ERR ch=" + dec(channel_id) + " n=" + dec(count) + " first=[" +
                       summary + "]";
            });
    });
}

std::uint32_t passthru_start_periodic_msg(std::uint32_t channel_id, PASSTHRU_MSG* msg, std::uint32_t* msg_id,
                                          std::uint32_t interval) {
    if (msg == nullptr || msg_id == nullptr) return ERR_NULL_PARAMETER;
    return shielded([&] {
        const Message converted = message_from_passthru(*msg);
        return run_on_device(
            [&](std::unique_ptr<Device>& device) {
                return device->start_periodic_msg(channel_id, converted, interval);
            },
            [&](std::uint32_t id) {
                *msg_id = id;
                return STATUS_NOERROR;
            },
            NoFailureLine{});
    });
}

std::uint32_t passthru_stop_periodic_msg(std::uint32_t channel_id, std::uint32_t msg_id) {
    return shielded([&] {
        return run_on_device(
            [&](std::unique_ptr<Device>& device) { return device->stop_periodic_msg(channel_id, msg_id); },
            [] { return STATUS_NOERROR; }, NoFailureLine{});
    });
}

std::uint32_t passthru_start_msg_filter(std::uint32_t channel_id, std::uint32_t filter_type, PASSTHRU_MSG* mask,
                                        PASSTHRU_MSG* pattern, PASSTHRU_MSG* flow_control, std::uint32_t* filter_id) {
    if (mask == nullptr || pattern == nullptr || filter_id == nullptr) return ERR_NULL_PARAMETER;
    return shielded([&] {
        FilterSpec filter{
            .mask = message_from_passthru(*mask),
            .pattern = message_from_passthru(*pattern),
            .flow_control = std::nullopt,
            .filter_type = filter_type,
        };
        if (flow_control != nullptr) filter.flow_control = message_from_passthru(*flow_control);
        const std::string args = "ch=" + dec(channel_id) + " type=" + dec(filter_type) + " mask=[" +
                                 text::byte_list(filter.mask.data) + "] pattern=[" +
                                 text::byte_list(filter.pattern.data) + "] flow=[" +
                                 (filter.flow_control ? text::byte_list(filter.flow_control->data) : "(none)") + "]";
        return run_on_device(
            [&](std::unique_ptr<Device>& device) { return device->start_msg_filter(channel_id, filter); },
            [&](std::uint32_t id) {
                log_line("[j2534] PassThruStartMsgFilter OK " + args + " id=" + dec(id));
                *filter_id = id;
                return STATUS_NOERROR;
            },
            [&] { return "[j2534] PassThruStartMsgFilter ERR " + args; });
    });
}

std::uint32_t passthru_stop_msg_filter(std::uint32_t channel_id, std::uint32_t filter_id) {
    return shielded([&] {
        const auto args = [&] { return "ch=" + dec(channel_id) + " id=" + dec(filter_id); };
        return run_on_device(
            [&](std::unique_ptr<Device>& device) { return device->stop_msg_filter(channel_id, filter_id); },
            [&] {
                log_line("[j2534] PassThruStopMsgFilter OK " + args());
                return STATUS_NOERROR;
            },
            [&] { return "[j2534] PassThruStopMsgFilter ERR " + args(); });
    });
}

}  // namespace vexo::api
