#include <algorithm>
#include <array>

#include "api/caller_values.h"
#include "api/entry_frame.h"
#include "api/marshalling.h"
#include "core/config_store.h"
#include "core/text_format.h"

namespace vexo::api {

using text::dec;
using Argument = PassThruError::Argument;

namespace {

constexpr std::size_t kFastInitTextBytes = 24;

// Indexed by parameter ID; entry 0 is unused.
constexpr std::array<std::uint32_t, 22> kConfigDefaults = {
    0,
    10400,  // DATA_RATE
    0,      // 2 names no parameter
    0,      // LOOPBACK
    0,      // NODE_ADDRESS
    0,      // NETWORK_LINE
    0,      // P1_MIN
    40,     // P1_MAX
    0,      // P2_MIN
    0,      // P2_MAX
    110,    // P3_MIN
    0,      // P3_MAX
    10,     // P4_MIN
    0,      // P4_MAX
    300,    // W1
    20,     // W2
    20,     // W3
    50,     // W4
    300,    // W5
    300,    // TIDLE
    25,     // TINIL
    50,     // TWUP
};

// What GET_CONFIG reports for a parameter ID: fixed defaults for IDs 1 to 21, 0 for any other.
std::uint32_t config_default(std::uint32_t parameter) {
    return parameter < kConfigDefaults.size() ? kConfigDefaults[parameter] : 0;
}

std::string bytes_text(const Bytes& bytes) {
    return "len=" + dec(bytes.size()) + " bytes=[" + leading_bytes_text(bytes, kFastInitTextBytes) + "]";
}

// What the channel took, from the settings the open device publishes; the defaults without a
// device or for a channel it does not know (an ID or a parameter wider than 32 bits is one the
// device cannot know). No slot lock: it must not wait behind a read.
std::uint32_t get_config(J2534_ULONG channel_id, void* input, void*) {
    if (input == nullptr) return ERR_NULL_PARAMETER;
    const auto& list = *static_cast<SCONFIG_LIST*>(input);
    if (list.ConfigPtr == nullptr) return STATUS_NOERROR;
    const std::shared_ptr<const ConfigStore> store =
        fits_32_bits(channel_id) ? device_slot().config.current() : nullptr;
    for (J2534_ULONG i = 0; i < list.NumOfParams; ++i) {
        const J2534_ULONG parameter = list.ConfigPtr[i].Parameter;
        std::optional<std::uint32_t> value;
        if (store && fits_32_bits(parameter)) {
            value = store->reported(static_cast<std::uint32_t>(channel_id), static_cast<std::uint32_t>(parameter));
        }
        list.ConfigPtr[i].Value = value.value_or(config_default(saturated(parameter)));
    }
    return STATUS_NOERROR;
}

// Runs op on the device with the channel ID narrowed.
template <class Op>
auto on_channel(J2534_ULONG channel_id, Op&& op) {
    return [channel_id, op = std::forward<Op>(op)](std::unique_ptr<Device>& device) -> decltype(op(device, 0u)) {
        const auto channel = narrowed(channel_id, Argument::ChannelId);
        if (!channel) return fail(channel.error());
        return op(device, *channel);
    };
}

std::uint32_t set_config(J2534_ULONG channel_id, void* input, void*) {
    if (input == nullptr) return ERR_NULL_PARAMETER;
    const auto& list = *static_cast<const SCONFIG_LIST*>(input);
    log_line("[j2534] PassThruIoctl SET_CONFIG ch=" + dec(channel_id) + " params=[" + config_list_text(list) + "]");
    const auto pairs = config_list_from(list);
    return run_on_device(
        on_channel(channel_id,
                   [&](std::unique_ptr<Device>& device, std::uint32_t channel) -> Result<IoctlOutput> {
                       if (!pairs) return fail(pairs.error());
                       const IoctlInput config = *pairs;
                       return device->ioctl(channel, SET_CONFIG, &config);
                   }),
        [](const IoctlOutput&) { return STATUS_NOERROR; }, NoFailureLine{});
}

std::uint32_t read_vbatt(J2534_ULONG channel_id, void*, void* output) {
    if (output == nullptr) return ERR_NULL_PARAMETER;
    return run_on_device(
        on_channel(channel_id, [](std::unique_ptr<Device>& device,
                                  std::uint32_t channel) { return device->ioctl(channel, READ_VBATT, nullptr); }),
        [&](const IoctlOutput& result) {
            const auto* millivolts = std::get_if<std::uint32_t>(&result);
            if (millivolts == nullptr) {
                log_line("[j2534] PassThruIoctl READ_VBATT ERR no value returned");
                return ERR_FAILED;
            }
            *static_cast<J2534_ULONG*>(output) = *millivolts;
            log_line("[j2534] PassThruIoctl READ_VBATT OK " + dec(*millivolts) + "mV");
            return STATUS_NOERROR;
        },
        [] { return std::string("[j2534] PassThruIoctl READ_VBATT ERR"); });
}

std::uint32_t five_baud_init(J2534_ULONG channel_id, void* input, void* output) {
    const auto* request = static_cast<const SBYTE_ARRAY*>(input);
    if (request == nullptr || request->NumOfBytes == 0 || request->BytePtr == nullptr) return ERR_NULL_PARAMETER;
    const IoctlInput bytes = bytes_from(*request);
    return run_on_device(
        on_channel(channel_id, [&](std::unique_ptr<Device>& device,
                                   std::uint32_t channel) { return device->ioctl(channel, FIVE_BAUD_INIT, &bytes); }),
        [&](const IoctlOutput& result) {
            const auto* response = std::get_if<Bytes>(&result);
            if (response != nullptr && output != nullptr) bytes_to(*response, *static_cast<SBYTE_ARRAY*>(output));
            return STATUS_NOERROR;
        },
        NoFailureLine{});
}

std::uint32_t fast_init(J2534_ULONG channel_id, void* input, void* output) {
    // Only the data bytes: the device reads nothing else of the message.
    std::optional<IoctlInput> request;
    std::string input_text = "null";
    if (input != nullptr) {
        const auto data = data_of(*static_cast<const PASSTHRU_MSG*>(input));
        Bytes bytes(data.begin(), data.end());
        input_text = bytes_text(bytes);
        request = std::move(bytes);
    }
    return run_on_device(
        on_channel(channel_id,
                   [&](std::unique_ptr<Device>& device, std::uint32_t channel) {
                       return device->ioctl(channel, FAST_INIT, request ? &*request : nullptr);
                   }),
        [&](IoctlOutput result) {
            auto* response = std::get_if<Bytes>(&result);
            log_line("[j2534] PassThruIoctl FAST_INIT OK ch=" + dec(channel_id) + " input=" + input_text +
                     " output=" + (response != nullptr ? bytes_text(*response) : "(no output)"));
            if (response != nullptr && output != nullptr) {
                // The response is always reported as an ISO14230 message, whatever the channel.
                const auto size =
                    static_cast<std::uint32_t>(std::min<std::size_t>(response->size(), PASSTHRU_MSG_DATA_SIZE));
                message_to_passthru(
                    Message{.data = std::move(*response), .protocol_id = ISO14230, .extra_data_index = size},
                    *static_cast<PASSTHRU_MSG*>(output));
            }
            return STATUS_NOERROR;
        },
        [&] { return "[j2534] PassThruIoctl FAST_INIT ERR ch=" + dec(channel_id) + " input=" + input_text; });
}

// Applications send these while they set a channel up; they succeed without effect.
std::uint32_t nothing_to_clear(J2534_ULONG, void*, void*) { return STATUS_NOERROR; }

// Without a device, or for a channel it does not know (any ID wider than 32 bits), there is
// nothing to clear: success, as applications that clear before they connect expect.
std::uint32_t clear_on_device(J2534_ULONG channel_id, std::uint32_t ioctl_id, const std::string& name) {
    if (!fits_32_bits(channel_id)) return STATUS_NOERROR;
    const auto outcome = call_device([&](std::unique_ptr<Device>& device) {
        return device->ioctl(static_cast<std::uint32_t>(channel_id), ioctl_id, nullptr);
    });
    if (!outcome) return ERR_FAILED;
    const std::string args = "[j2534] PassThruIoctl " + name;
    if (*outcome) {
        log_line(args + " OK ch=" + dec(channel_id));
        return STATUS_NOERROR;
    }
    const PassThruError& error = outcome->error();
    if (error.kind() == PassThruError::Kind::DeviceNotConnected ||
        error.kind() == PassThruError::Kind::InvalidChannelId) {
        return STATUS_NOERROR;
    }
    log_line(args + " ERR ch=" + dec(channel_id) + " " + error.message());
    return to_status(error);
}

std::uint32_t clear_rx_buffer(J2534_ULONG channel_id, void*, void*) {
    return clear_on_device(channel_id, CLEAR_RX_BUFFER, "CLEAR_RX_BUFFER");
}

std::uint32_t clear_msg_filters(J2534_ULONG channel_id, void*, void*) {
    return clear_on_device(channel_id, CLEAR_MSG_FILTERS, "CLEAR_MSG_FILTERS");
}

using IoctlHandler = std::uint32_t (*)(J2534_ULONG channel_id, void* input, void* output);

struct IoctlRule {
    std::uint32_t id;
    IoctlHandler handler;
};

// Every ioctl PassThruIoctl takes; any other ID is refused with ERR_INVALID_IOCTL_ID.
constexpr IoctlRule kIoctlRules[] = {
    // Answered here, without the device.
    {GET_CONFIG, get_config},
    {CLEAR_TX_BUFFER, nothing_to_clear},
    {CLEAR_PERIODIC_MSGS, nothing_to_clear},
    {CLEAR_FUNCT_MSG_LOOKUP_TABLE, nothing_to_clear},
    // Handed to the device.
    {CLEAR_RX_BUFFER, clear_rx_buffer},
    {CLEAR_MSG_FILTERS, clear_msg_filters},
    {SET_CONFIG, set_config},
    {READ_VBATT, read_vbatt},
    {FIVE_BAUD_INIT, five_baud_init},
    {FAST_INIT, fast_init},
};

}  // namespace

}  // namespace vexo::api

J2534_STATUS J2534_CALL PassThruIoctl(J2534_ULONG ChannelID, J2534_ULONG IoctlID, void* pInput, void* pOutput) {
    using namespace vexo;
    using namespace vexo::api;
    return shielded([&] {
        log_line("[j2534] PassThruIoctl ch=" + dec(ChannelID) + " id=0x" + text::hex(IoctlID, 2, text::HexCase::Upper));
        if (!fits_32_bits(IoctlID)) return to_status(PassThruError::too_wide(Argument::IoctlId, IoctlID));
        const auto rule = std::ranges::find(kIoctlRules, IoctlID, &IoctlRule::id);
        if (rule == std::end(kIoctlRules)) return ERR_INVALID_IOCTL_ID;
        return rule->handler(ChannelID, pInput, pOutput);
    });
}
