#include "sim/vehicle_kline_ecu.h"

#include "sim/vehicle_engine_readings.h"

namespace vexo::sim {

namespace {

constexpr std::uint32_t data_rate_parameter = 0x01;
constexpr std::uint32_t no_checksum_flag = 0x0200;  // ISO9141_NO_CHECKSUM
constexpr std::uint8_t start_communication = 0x81;

// The bytes on the line: the cable appends the checksum unless told not to.
Bytes on_the_line(std::span<const std::uint8_t> sent, bool checksum_appended) {
    Bytes line(sent.begin(), sent.end());
    if (checksum_appended) line.push_back(kwp_checksum(sent));
    return line;
}

}  // namespace

KlineEcu::KlineEcu(VehiclePort& port) : KlineEcu(port, Settings{}) {}

KlineEcu::KlineEcu(VehiclePort& port, Settings settings)
    : port_(port), settings_(std::move(settings)), dtcs_(settings_.dtcs) {}

void KlineEcu::on_channel_opened(std::uint8_t channel, std::uint32_t, std::uint32_t baud) {
    if (channel != settings_.channel) return;
    std::lock_guard lock(mutex_);
    open_ = true;
    bit_rate_ = baud;
    communicating_ = false;
}

void KlineEcu::on_channel_closed(std::uint8_t channel) {
    if (channel != settings_.channel) return;
    std::lock_guard lock(mutex_);
    open_ = false;
    communicating_ = false;
}

void KlineEcu::on_config(std::uint8_t channel, std::uint32_t parameter, std::uint32_t value) {
    if (channel != settings_.channel || parameter != data_rate_parameter) return;
    std::lock_guard lock(mutex_);
    bit_rate_ = value;
}

bool KlineEcu::communicating() const {
    std::lock_guard lock(mutex_);
    return communicating_;
}

std::vector<std::uint16_t> KlineEcu::stored_dtcs() const {
    std::lock_guard lock(mutex_);
    return dtcs_;
}

std::optional<Bytes> KlineEcu::on_fast_init(std::uint8_t channel, std::span<const std::uint8_t> request) {
    if (channel != settings_.channel) return std::nullopt;
    std::lock_guard lock(mutex_);
    if (!listening_locked()) return Bytes{};
    const auto heard = heard_locked(on_the_line(request, true));
    if (!heard || heard->data != Bytes{start_communication}) return Bytes{};
    communicating_ = true;
    last_request_us_ = port_.now_us();
    return reply_to(*heard, answer_locked(*heard, last_request_us_).answers.at(0));
}

void KlineEcu::on_transmit(const Transmission& message) {
    if (message.channel != settings_.channel) return;
    std::vector<Bytes> replies;
    {
        std::lock_guard lock(mutex_);
        if (!listening_locked() || !communicating_) return;
        const std::uint32_t now = port_.now_us();
        if (now - last_request_us_ > settings_.p3_max_ms * 1000u) {
            communicating_ = false;  // the session timed out; only a new fast init wakes the ECU
            return;
        }
        const auto heard = heard_locked(on_the_line(message.data, (message.flags & no_checksum_flag) == 0));
        if (!heard) return;
        last_request_us_ = now;
        const KwpOutcome outcome = answer_locked(*heard, now);
        if (outcome.stop_communication) communicating_ = false;
        for (const Bytes& answer : outcome.answers) replies.push_back(reply_to(*heard, answer));
    }
    for (const Bytes& reply : replies) port_.deliver_kline(settings_.channel, reply);
}

KwpOutcome KlineEcu::answer_locked(const KwpMessage& request, std::uint32_t now_us) {
    KwpContext context{settings_.vin,
                       settings_.key_bytes,
                       engine_obd_profile,
                       engine_readings(uptime_.advance(now_us)),
                       dtcs_,
                       request.addressing == kwp_addressing::functional};
    return kwp_answer(request.data, context);
}

std::optional<KwpMessage> KlineEcu::heard_locked(std::span<const std::uint8_t> line) const {
    auto message = parse_kwp(line);
    if (!message) return std::nullopt;
    if (message->addressing == kwp_addressing::physical && message->target != settings_.address) return std::nullopt;
    if (message->addressing == kwp_addressing::functional && message->target != settings_.functional_address)
        return std::nullopt;
    return message;
}

Bytes KlineEcu::reply_to(const KwpMessage& request, Bytes data) const {
    const std::uint8_t addressing =
        request.addressing == kwp_addressing::none ? kwp_addressing::none : kwp_addressing::physical;
    return encode_kwp({addressing, request.source, settings_.address, std::move(data)});
}

}  // namespace vexo::sim
