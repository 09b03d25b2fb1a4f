#include "sim/cable_firmware.h"

#include <utility>

#include "sim/cable_command.h"

namespace vexo::sim {

namespace {

std::optional<char> command_letter(std::string_view line) {
    if (line.size() < 3 || !line.starts_with("at")) return std::nullopt;
    return line[2];
}

bool valid_message_length(std::uint32_t channel, std::uint32_t tx_flags, std::size_t length) {
    const ProtocolFacts* protocol = protocol_on_channel(channel);
    return protocol != nullptr && message_sizes(*protocol, tx_flags).fits(length);
}

Bytes be32(std::uint32_t value) {
    return {static_cast<std::uint8_t>(value >> 24), static_cast<std::uint8_t>(value >> 16),
            static_cast<std::uint8_t>(value >> 8), static_cast<std::uint8_t>(value)};
}

}  // namespace

CableFirmware::CableFirmware() = default;

CableFirmware::~CableFirmware() { detach_traffic(); }

void CableFirmware::host_wrote(std::span<const std::uint8_t> bytes) {
    std::lock_guard input(input_mutex_);
    for (const ReceivedCommand& command : stream_.feed(bytes)) handle(command);
}

std::size_t CableFirmware::host_read(std::span<std::uint8_t> into, std::chrono::steady_clock::time_point deadline) {
    return output_.pop(into, deadline);
}

void CableFirmware::handle(const ReceivedCommand& command) {
    std::optional<ScriptedReply> scripted;
    Bytes out;
    std::shared_ptr<VehicleSide> vehicle;
    {
        std::lock_guard lock(state_mutex_);
        commands_.push_back(command);
        if (const auto letter = command_letter(command.line)) scripted = script_.take(*letter);
        out.swap(next_reply_prefix_);
        vehicle = vehicle_;
    }

    Answer answer;
    if (scripted && scripted->action == ScriptedReply::Action::Reject) {
        const auto& text = scripted->bytes;
        answer.bytes = error_frame(std::string_view(reinterpret_cast<const char*>(text.data()), text.size()));
    } else {
        answer = execute(command, vehicle.get());
        if (scripted && scripted->action == ScriptedReply::Action::Silence) answer.bytes.clear();
        if (scripted && scripted->action == ScriptedReply::Action::Replace) answer.bytes = scripted->bytes;
    }

    append(out, answer.bytes);
    output_.push(out);
    if (vehicle)
        for (const VehicleEvent& event : answer.events) event(*vehicle);
}

CableFirmware::Answer CableFirmware::execute(const ReceivedCommand& command, VehicleSide* vehicle) {
    if (command.overlong) return {error_frame(error_text::line_too_long), {}};
    const auto parsed = parse_command(command.line);
    if (!parsed) return {error_frame(error_text_of(parsed.error())), {}};

    const std::vector<std::uint32_t>& fields = parsed->fields;
    switch (parsed->letter) {
        case 'i': {
            std::lock_guard lock(state_mutex_);
            return {identify_frame(identity_), {}};
        }
        case 'a': return {ack_frame(), {}};
        case 'z': return close_all();
        case 'o': return open_channel(fields);
        case 'c': return close_channel(fields[0]);
        case 't': return transmit(fields, command.payload);
        case 'f': return install_filter(fields, command.payload);
        case 's': return set_config(fields);
        case 'r': return read_analog(fields[0]);
        case 'y': return fast_init(fields[0], command.payload, vehicle);
        default: return {error_frame(error_text::unknown_command), {}};
    }
}

CableChannel* CableFirmware::find_open_locked(std::uint32_t channel, std::string_view& error) {
    if (!is_cable_channel(channel)) {
        error = error_text::invalid_channel;
        return nullptr;
    }
    auto& slot = channels_[channel];
    if (!slot) {
        error = error_text::channel_not_open;
        return nullptr;
    }
    return &*slot;
}

CableFirmware::Answer CableFirmware::close_all() {
    Answer answer;
    std::lock_guard lock(state_mutex_);
    for (std::uint8_t channel = 0; channel < channels_.size(); ++channel) {
        auto& slot = channels_[channel];
        if (!slot) continue;
        slot.reset();
        answer.events.push_back([channel](VehicleSide& v) { v.on_channel_closed(channel); });
    }
    return answer;
}

CableFirmware::Answer CableFirmware::open_channel(const std::vector<std::uint32_t>& fields) {
    if (!is_cable_channel(fields[0])) return {error_frame(error_text::invalid_channel), {}};
    const auto channel = static_cast<std::uint8_t>(fields[0]);
    const std::uint32_t flags = fields[1];
    const std::uint32_t baud = fields[2];
    {
        // Opening an open channel starts it afresh, filters and settings gone.
        std::lock_guard lock(state_mutex_);
        channels_[channel] = CableChannel{flags, baud, {}, {}};
    }
    return {ack_frame(channel), {[=](VehicleSide& v) { v.on_channel_opened(channel, flags, baud); }}};
}

CableFirmware::Answer CableFirmware::close_channel(std::uint32_t channel_field) {
    std::string_view error;
    std::lock_guard lock(state_mutex_);
    if (!find_open_locked(channel_field, error)) return {error_frame(error), {}};
    const auto channel = static_cast<std::uint8_t>(channel_field);
    channels_[channel].reset();
    return {ack_frame(channel), {[channel](VehicleSide& v) { v.on_channel_closed(channel); }}};
}

CableFirmware::Answer CableFirmware::transmit(const std::vector<std::uint32_t>& fields,
                                              const std::vector<std::uint8_t>& payload) {
    bool loopback = false;
    {
        std::string_view error;
        std::lock_guard lock(state_mutex_);
        const CableChannel* open = find_open_locked(fields[0], error);
        if (!open) return {error_frame(error), {}};
        const auto setting = open->config.find(LOOPBACK);
        loopback = setting != open->config.end() && setting->second != 0;
    }
    const auto channel = static_cast<std::uint8_t>(fields[0]);
    if (!valid_message_length(channel, fields[2], payload.size())) return {error_frame(error_text::bad_length), {}};
    const std::uint32_t now = clock_.now_us();
    Bytes answer = tx_done_frame(channel, payload, now);
    if (loopback) append(answer, loopback_frames(channel, payload, now));
    Transmission sent{channel, fields[2], payload};
    return {std::move(answer), {[sent = std::move(sent)](VehicleSide& v) { v.on_transmit(sent); }}};
}

CableFirmware::Answer CableFirmware::install_filter(const std::vector<std::uint32_t>& fields,
                                                    const std::vector<std::uint8_t>& payload) {
    const std::uint32_t type = fields[1];
    const std::uint32_t length = fields[3];
    std::string_view error;
    std::lock_guard lock(state_mutex_);
    CableChannel* open = find_open_locked(fields[0], error);
    if (!open) return {error_frame(error), {}};
    if (type < pass_filter || type > flow_control_filter || length == 0 || length > max_filter_bytes)
        return {error_frame(error_text::invalid_filter), {}};

    CableFilter filter{next_filter_id_++, type, fields[2], {}, {}, {}};
    const auto part = [&](std::size_t index) {
        const auto first = payload.begin() + static_cast<std::ptrdiff_t>(index * length);
        return std::vector<std::uint8_t>(first, first + length);
    };
    filter.mask = part(0);
    filter.pattern = part(1);
    if (type == flow_control_filter) filter.flow_control = part(2);
    open->filters.push_back(filter);
    const auto channel = static_cast<std::uint8_t>(fields[0]);
    return {filter_ack_frame(filter.id),
            {[channel, filter = std::move(filter)](VehicleSide& v) { v.on_filter(channel, filter); }}};
}

CableFirmware::Answer CableFirmware::set_config(const std::vector<std::uint32_t>& fields) {
    std::string_view error;
    std::lock_guard lock(state_mutex_);
    CableChannel* open = find_open_locked(fields[0], error);
    if (!open) return {error_frame(error), {}};
    const auto channel = static_cast<std::uint8_t>(fields[0]);
    const std::uint32_t parameter = fields[1];
    const std::uint32_t value = fields[2];
    open->config[parameter] = value;
    return {ack_frame(channel), {[=](VehicleSide& v) { v.on_config(channel, parameter, value); }}};
}

CableFirmware::Answer CableFirmware::read_analog(std::uint32_t pin) {
    if (pin > 255) return {error_frame(error_text::malformed), {}};
    std::lock_guard lock(state_mutex_);
    // Only the battery input is wired in the simulation; other pins read 0 V.
    const std::uint32_t millivolts = pin == battery_pin ? battery_millivolts_ : 0;
    return {analog_frame(static_cast<std::uint8_t>(pin), millivolts), {}};
}

CableFirmware::Answer CableFirmware::fast_init(std::uint32_t channel_field, const std::vector<std::uint8_t>& request,
                                               VehicleSide* vehicle) {
    std::vector<std::uint8_t> response;
    {
        std::string_view error;
        std::lock_guard lock(state_mutex_);
        if (!find_open_locked(channel_field, error)) return {error_frame(error), {}};
        if (!is_kline_channel(channel_field)) return {error_frame(error_text::invalid_channel), {}};
        response = fast_init_response_;
    }
    const auto channel = static_cast<std::uint8_t>(channel_field);
    // The ECU is asked without the lock, so it may deliver traffic while it answers.
    if (vehicle)
        if (auto answered = vehicle->on_fast_init(channel, request)) response = std::move(*answered);
    Bytes bytes = fast_init_ack_frame(channel, static_cast<std::uint32_t>(response.size()));
    append(bytes, response);
    return {std::move(bytes), {}};
}

Delivery CableFirmware::deliver_can(std::uint8_t channel, std::uint32_t can_id, std::span<const std::uint8_t> data,
                                    std::optional<std::uint32_t> ts_us) {
    if (!is_can_channel(channel)) return Delivery::WrongChannel;
    Bytes message = be32(can_id);
    append(message, data);
    return push_traffic(channel, message, can_message_frames(channel, can_id, data, ts_us.value_or(now_us())));
}

Delivery CableFirmware::deliver_kline(std::uint8_t channel, std::span<const std::uint8_t> data) {
    if (!is_kline_channel(channel)) return Delivery::WrongChannel;
    return push_traffic(channel, data, kline_message_frames(channel, data));
}

Delivery CableFirmware::push_traffic(std::uint8_t channel, std::span<const std::uint8_t> message, const Bytes& frames) {
    std::size_t limit = 0;
    {
        std::lock_guard lock(state_mutex_);
        const auto& slot = channels_[channel];
        if (!slot) return Delivery::ChannelNotOpen;
        if (filtering_ && !filters_pass(slot->filters, message)) return Delivery::Filtered;
        limit = output_limit_;
    }
    if (!output_.push_within(frames, limit)) {
        ++dropped_;
        return Delivery::Overflow;
    }
    return Delivery::Delivered;
}

bool CableFirmware::is_open(std::uint8_t channel) const {
    std::lock_guard lock(state_mutex_);
    return is_cable_channel(channel) && channels_[channel].has_value();
}

std::uint32_t CableFirmware::now_us() const { return clock_.now_us(); }

void CableFirmware::set_vehicle(std::shared_ptr<VehicleSide> vehicle) {
    std::lock_guard lock(state_mutex_);
    vehicle_ = std::move(vehicle);
}

void CableFirmware::attach_traffic(std::unique_ptr<TrafficSource> source) {
    std::lock_guard lock(traffic_mutex_);
    if (traffic_) traffic_->stop();
    traffic_ = std::move(source);
    if (traffic_) traffic_->start(*this);
}

void CableFirmware::detach_traffic() {
    std::lock_guard lock(traffic_mutex_);
    if (traffic_) traffic_->stop();
    traffic_.reset();
}

void CableFirmware::set_filtering(bool on) {
    std::lock_guard lock(state_mutex_);
    filtering_ = on;
}

void CableFirmware::set_output_limit(std::size_t bytes) {
    std::lock_guard lock(state_mutex_);
    output_limit_ = bytes;
}

void CableFirmware::set_identity(std::string text) {
    std::lock_guard lock(state_mutex_);
    identity_ = std::move(text);
}

void CableFirmware::set_battery_millivolts(std::uint32_t millivolts) {
    std::lock_guard lock(state_mutex_);
    battery_millivolts_ = millivolts;
}

void CableFirmware::set_fast_init_response(std::vector<std::uint8_t> bytes) {
    std::lock_guard lock(state_mutex_);
    fast_init_response_ = std::move(bytes);
}

void CableFirmware::script(char letter, ScriptedReply reply) {
    std::lock_guard lock(state_mutex_);
    script_.add(letter, std::move(reply));
}

void CableFirmware::silence(char letter, unsigned uses) { script(letter, {ScriptedReply::Action::Silence, {}, uses}); }

void CableFirmware::replace_reply(char letter, std::span<const std::uint8_t> bytes, unsigned uses) {
    script(letter, {ScriptedReply::Action::Replace, {bytes.begin(), bytes.end()}, uses});
}

void CableFirmware::replace_reply(char letter, std::string_view bytes, unsigned uses) {
    script(letter, {ScriptedReply::Action::Replace, to_bytes(bytes), uses});
}

void CableFirmware::reject(char letter, std::string_view text, unsigned uses) {
    script(letter, {ScriptedReply::Action::Reject, to_bytes(text), uses});
}

void CableFirmware::clear_script(char letter) {
    std::lock_guard lock(state_mutex_);
    script_.clear(letter);
}

void CableFirmware::clear_scripts() {
    std::lock_guard lock(state_mutex_);
    script_.clear_all();
}

void CableFirmware::inject(std::span<const std::uint8_t> bytes) { output_.push(bytes); }

void CableFirmware::inject(std::string_view bytes) { output_.push(to_bytes(bytes)); }

void CableFirmware::inject_before_next_reply(std::span<const std::uint8_t> bytes) {
    std::lock_guard lock(state_mutex_);
    append(next_reply_prefix_, bytes);
}

void CableFirmware::inject_before_next_reply(std::string_view bytes) { inject_before_next_reply(to_bytes(bytes)); }

std::vector<ReceivedCommand> CableFirmware::commands() const {
    std::lock_guard lock(state_mutex_);
    return commands_;
}

void CableFirmware::clear_commands() {
    std::lock_guard lock(state_mutex_);
    commands_.clear();
}

std::optional<CableChannel> CableFirmware::channel(std::uint8_t channel) const {
    std::lock_guard lock(state_mutex_);
    if (!is_cable_channel(channel)) return std::nullopt;
    return channels_[channel];
}

std::unique_ptr<CableLink> make_cable_firmware() { return std::make_unique<CableFirmware>(); }

std::optional<ScriptedReply> ReplyScript::take(char letter) {
    const auto found = queues_.find(letter);
    if (found == queues_.end()) return std::nullopt;
    auto& queue = found->second;
    ScriptedReply reply = queue.front();
    if (queue.front().uses > 0 && --queue.front().uses == 0) queue.pop_front();
    if (queue.empty()) queues_.erase(found);
    return reply;
}

}  // namespace vexo::sim
