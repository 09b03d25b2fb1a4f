#include "api/entry_frame.h"
#include "api/entry_points.h"
#include "api/message_marshalling.h"
#include "core/text_format.h"

namespace vexo::api {

using text::dec;

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
