#include "sim/vehicle_can_ecu.h"

#include <algorithm>
#include <optional>
#include <span>

namespace vexo::sim {

namespace {

constexpr std::uint32_t data_rate_parameter = 0x01;
// Transmit flags: the ECU never hears extended addressing, and hears 29-bit frames only when
// its own IDs are 29-bit.
constexpr std::uint32_t extended_addressing_flag = 0x0080;
constexpr std::uint32_t can_29bit_id_flag = 0x0100;

Bytes be32(std::uint32_t value) {
    return {static_cast<std::uint8_t>(value >> 24), static_cast<std::uint8_t>(value >> 16),
            static_cast<std::uint8_t>(value >> 8), static_cast<std::uint8_t>(value)};
}

std::uint32_t read_be32(std::span<const std::uint8_t> bytes) {
    return std::uint32_t{bytes[0]} << 24 | std::uint32_t{bytes[1]} << 16 | std::uint32_t{bytes[2]} << 8 | bytes[3];
}

// ISO-TP (ISO 15765-2) single frames on classic CAN, for the raw CAN channel: a PCI byte
// 0x0L, then L (1..7) payload bytes.
constexpr std::size_t single_frame_max_payload = 7;

// The payload of a single frame, nothing for any other frame type or an impossible length.
// Bytes after the payload are padding.
std::optional<std::span<const std::uint8_t>> single_frame_payload(std::span<const std::uint8_t> frame) {
    if (frame.empty() || (frame[0] & 0xF0) != 0x00) return std::nullopt;
    const std::size_t length = frame[0] & 0x0F;
    if (length == 0 || length > single_frame_max_payload || length > frame.size() - 1) return std::nullopt;
    return frame.subspan(1, length);
}

// The 8-byte single frame carrying `payload`, padded with `pad`; nothing when it does not fit.
std::optional<Bytes> single_frame(std::span<const std::uint8_t> payload, std::uint8_t pad) {
    if (payload.empty() || payload.size() > single_frame_max_payload) return std::nullopt;
    Bytes frame{static_cast<std::uint8_t>(payload.size())};
    append(frame, payload);
    frame.resize(8, pad);
    return frame;
}

}  // namespace

CanEcu::CanEcu(VehiclePort& port) : CanEcu(port, Settings{}) {}

CanEcu::CanEcu(VehiclePort& port, Settings settings)
    : port_(port),
      settings_(std::move(settings)),
      diagnostics_(
          {settings_.vin, settings_.serial_number, settings_.dtcs, settings_.pending_dtcs, settings_.profile}) {}

void CanEcu::on_channel_opened(std::uint8_t channel, std::uint32_t, std::uint32_t baud) {
    if (!is_can_channel(channel)) return;
    std::lock_guard lock(mutex_);
    channel_locked(channel) = Channel{true, baud, {}};
}

void CanEcu::on_channel_closed(std::uint8_t channel) {
    if (!is_can_channel(channel)) return;
    std::lock_guard lock(mutex_);
    channel_locked(channel) = Channel{};
}

void CanEcu::on_filter(std::uint8_t channel, const CableFilter& filter) {
    if (!is_can_channel(channel)) return;
    std::lock_guard lock(mutex_);
    channel_locked(channel).filters.push_back(filter);
}

void CanEcu::on_config(std::uint8_t channel, std::uint32_t parameter, std::uint32_t value) {
    if (!is_can_channel(channel) || parameter != data_rate_parameter) return;
    std::lock_guard lock(mutex_);
    channel_locked(channel).bit_rate = value;
}

std::vector<std::uint16_t> CanEcu::stored_dtcs() const {
    std::lock_guard lock(mutex_);
    return diagnostics_.stored_dtcs();
}

std::optional<std::uint32_t> CanEcu::heard_id(const Transmission& message) const {
    if (!is_can_channel(message.channel) || message.data.size() < 4) return std::nullopt;
    if (message.flags & extended_addressing_flag) return std::nullopt;
    if (((message.flags & can_29bit_id_flag) != 0) != settings_.extended_ids) return std::nullopt;
    const std::uint32_t id = read_be32(message.data);
    if (id != settings_.request_id && id != settings_.functional_id) return std::nullopt;
    return id;
}

void CanEcu::on_transmit_start(const Transmission& message) {
    if (heard_id(message) != settings_.request_id) return;
    std::lock_guard lock(mutex_);
    Channel& channel = channel_locked(message.channel);
    channel.receiving = true;
    channel.broken_off = false;
}

void CanEcu::on_transmit(const Transmission& message) {
    const auto id = heard_id(message);
    if (!id) return;
    const bool functional = *id == settings_.functional_id;
    const auto payload = std::span(message.data).subspan(4);

    Bytes reply;
    {
        std::lock_guard lock(mutex_);
        Channel& channel = channel_locked(message.channel);
        if (message.channel == iso15765_channel && !functional) {
            if (payload.size() > single_frame_max_payload) {
                const bool broken_off = channel.broken_off;
                channel.receiving = channel.broken_off = false;
                if (broken_off) return;
            } else if (channel.receiving) {
                channel.broken_off = true;
            }
        }
        const auto answer = answer_locked(message.channel, payload, functional);
        if (!answer) return;
        reply = *answer;
    }
    // Delivered without the lock: the cable takes its own.
    port_.deliver_can(message.channel, settings_.response_id, reply);
}

std::optional<Bytes> CanEcu::answer_locked(std::uint8_t channel_number, std::span<const std::uint8_t> payload,
                                           bool functional) {
    const Channel& channel = channel_locked(channel_number);
    if (!channel.open || channel.bit_rate != settings_.bit_rate) return std::nullopt;
    const std::uint64_t uptime = uptime_.advance(port_.now_us());

    if (channel_number == can_channel) {
        const auto request = single_frame_payload(payload);
        if (!request) return std::nullopt;
        const auto answer = diagnostics_.answer(*request, functional, uptime);
        if (!answer) return std::nullopt;
        return single_frame(*answer, settings_.padding);
    }

    if (payload.empty()) return std::nullopt;
    const bool segmented_request = payload.size() > single_frame_max_payload;
    if (segmented_request && (functional || !flow_control_paired_locked(channel))) return std::nullopt;
    auto answer = diagnostics_.answer(payload, functional, uptime);
    if (answer && answer->size() > single_frame_max_payload && !flow_control_paired_locked(channel))
        return std::nullopt;
    return answer;
}

bool CanEcu::flow_control_paired_locked(const Channel& channel) const {
    const Bytes response_id = be32(settings_.response_id);
    return std::any_of(channel.filters.begin(), channel.filters.end(), [&](const CableFilter& filter) {
        return filter.type == flow_control_filter && filter_matches(filter, response_id) &&
               filter.flow_control.size() >= 4 && read_be32(filter.flow_control) == settings_.request_id;
    });
}

}  // namespace vexo::sim
