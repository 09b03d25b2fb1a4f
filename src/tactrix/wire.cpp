#include "tactrix/wire.h"

#include <initializer_list>
#include <string>

#include "core/protocols.h"
#include "core/text_format.h"

namespace vexo::tactrix::wire {

namespace {

constexpr std::uint32_t kCanFlag = 0x40;

bool is_can_channel(std::uint32_t channel) {
    const ProtocolFacts* protocol = protocol_on_channel(channel);
    return protocol != nullptr && protocol->can;
}

// "at" + letter + first field glued on + the rest blank-separated + CR LF.
Bytes line(char letter, std::initializer_list<std::uint32_t> fields, std::size_t payload_size = 0) {
    std::string text = "at";
    text.push_back(letter);
    bool first = true;
    for (std::uint32_t field : fields) {
        if (!first) text.push_back(' ');
        text += text::dec(field);
        first = false;
    }
    text += "\r\n";
    Bytes out;
    out.reserve(text.size() + payload_size);
    out.assign(text.begin(), text.end());
    return out;
}

void append(Bytes& out, std::span<const std::uint8_t> bytes) { out.insert(out.end(), bytes.begin(), bytes.end()); }

}  // namespace

Bytes identify() { return line('i', {}); }
Bytes second_open_step() { return line('a', {}); }
Bytes close_device() { return line('z', {}); }

Bytes open_channel(std::uint32_t channel, std::uint32_t flags, std::uint32_t baud) {
    return line('o', {channel, flags, baud, 0});
}

Bytes close_channel(std::uint32_t channel) { return line('c', {channel}); }

Bytes transmit(std::uint32_t channel, std::uint32_t tx_flags, std::span<const std::uint8_t> data) {
    Bytes out = line('t', {channel, static_cast<std::uint32_t>(data.size()), tx_flags}, data.size());
    append(out, data);
    return out;
}

Bytes filter(std::uint32_t channel, std::uint32_t type, std::uint32_t flags, std::span<const std::uint8_t> mask,
             std::span<const std::uint8_t> pattern, std::span<const std::uint8_t> flow_control) {
    const bool with_flow = type == kFilterFlowControl;
    const std::size_t payload = mask.size() + pattern.size() + (with_flow ? flow_control.size() : 0);
    Bytes out = line('f', {channel, type, flags, static_cast<std::uint32_t>(mask.size())}, payload);
    append(out, mask);
    append(out, pattern);
    if (with_flow) append(out, flow_control);
    return out;
}

Bytes pass_all_filter(std::uint32_t channel) {
    const std::uint8_t zero[1] = {0};
    return filter(channel, kFilterPassAll, 0, zero, zero);
}

Bytes set_parameter(std::uint32_t channel, std::uint32_t parameter, std::uint32_t value) {
    return line('s', {channel, parameter, value});
}

Bytes read_analog(std::uint32_t pin) {
    const std::string text = "atr " + text::dec(pin) + "\r\n";
    return Bytes(text.begin(), text.end());
}

Bytes fast_init(std::uint32_t channel, std::span<const std::uint8_t> request) {
    Bytes out = line('y', {channel, static_cast<std::uint32_t>(request.size()), 0}, request.size());
    append(out, request);
    return out;
}

std::uint32_t transmit_flags(std::uint32_t channel, std::uint32_t tx_flags) {
    return is_can_channel(channel) ? tx_flags | kCanFlag : tx_flags;
}

std::uint32_t filter_flags(std::uint32_t channel) { return is_can_channel(channel) ? kCanFlag : 0; }

}  // namespace vexo::tactrix::wire
