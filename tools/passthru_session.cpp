#include "passthru_session.h"

#include <algorithm>

namespace vexo::tools {

namespace {

constexpr std::uint32_t kEchoBits = TX_MSG_TYPE | TX_INDICATION;

}  // namespace

Result<Session> Session::open(const J2534Library& library) {
    std::uint32_t device_id = 0;
    const std::uint32_t status = library.calls().open(device_id);
    if (status != STATUS_NOERROR) return std::unexpected(library.call_failure("PassThruOpen", status));
    return Session(library, device_id);
}

Session::Session(Session&& other) noexcept
    : library_(other.library_),
      device_id_(other.device_id_),
      device_open_(other.device_open_),
      channel_id_(other.channel_id_),
      protocol_id_(other.protocol_id_) {
    other.device_open_ = false;
    other.channel_id_.reset();
}

Session::~Session() {
    if (device_open_ || channel_id_) (void)close();
}

PassThruMessage Session::message(std::span<const std::uint8_t> data, std::uint32_t tx_flags) const {
    const std::size_t size = std::min<std::size_t>(data.size(), PASSTHRU_MSG_DATA_SIZE);
    return PassThruMessage{.protocol_id = protocol_id_,
                           .tx_flags = tx_flags,
                           .extra_data_index = static_cast<std::uint32_t>(size),
                           .data = {data.begin(), data.begin() + static_cast<std::ptrdiff_t>(size)}};
}

Result<VersionTexts> Session::read_version() {
    VersionTexts texts;
    const std::uint32_t status = library_->calls().read_version(device_id_, texts.firmware, texts.dll, texts.api);
    if (status != STATUS_NOERROR) return std::unexpected(library_->call_failure("PassThruReadVersion", status));
    return texts;
}

Result<std::uint32_t> Session::read_battery_millivolts() {
    std::uint32_t millivolts = 0;
    const std::uint32_t status = library_->calls().read_vbatt(device_id_, millivolts);
    if (status != STATUS_NOERROR) return std::unexpected(library_->call_failure("PassThruIoctl(READ_VBATT)", status));
    return millivolts;
}

VoidResult Session::connect(std::uint32_t protocol_id, std::uint32_t flags, std::uint32_t baud) {
    std::uint32_t channel_id = 0;
    const std::uint32_t status = library_->calls().connect(device_id_, protocol_id, flags, baud, channel_id);
    if (status != STATUS_NOERROR) return std::unexpected(library_->call_failure("PassThruConnect", status));
    channel_id_ = channel_id;
    protocol_id_ = protocol_id;
    return {};
}

Result<std::uint32_t> Session::start_filter(std::uint32_t filter_type, std::span<const std::uint8_t> mask,
                                            std::span<const std::uint8_t> pattern,
                                            std::optional<std::span<const std::uint8_t>> flow_control,
                                            std::uint32_t tx_flags) {
    const PassThruMessage flow = message(flow_control.value_or(std::span<const std::uint8_t>{}), tx_flags);
    std::uint32_t filter_id = 0;
    const std::uint32_t status =
        library_->calls().start_msg_filter(channel_id_.value_or(0), filter_type, message(mask, tx_flags),
                                           message(pattern, tx_flags), flow_control ? &flow : nullptr, filter_id);
    if (status != STATUS_NOERROR) return std::unexpected(library_->call_failure("PassThruStartMsgFilter", status));
    return filter_id;
}

VoidResult Session::clear_rx_buffer() {
    const std::uint32_t status = library_->calls().clear_rx_buffer(channel_id_.value_or(0));
    if (status != STATUS_NOERROR) {
        return std::unexpected(library_->call_failure("PassThruIoctl(CLEAR_RX_BUFFER)", status));
    }
    return {};
}

VoidResult Session::write(std::span<const std::uint8_t> data, std::uint32_t tx_flags, std::uint32_t timeout_ms) {
    const PassThruMessage msg = message(data, tx_flags);
    std::uint32_t count = 0;
    const std::uint32_t status =
        library_->calls().write_msgs(channel_id_.value_or(0), std::span(&msg, 1), count, timeout_ms);
    if (status != STATUS_NOERROR) return std::unexpected(library_->call_failure("PassThruWriteMsgs", status));
    return {};
}

Result<std::uint32_t> Session::start_periodic(std::span<const std::uint8_t> data, std::uint32_t tx_flags,
                                              std::uint32_t interval_ms) {
    std::uint32_t msg_id = 0;
    const std::uint32_t status =
        library_->calls().start_periodic_msg(channel_id_.value_or(0), message(data, tx_flags), interval_ms, msg_id);
    if (status != STATUS_NOERROR) return std::unexpected(library_->call_failure("PassThruStartPeriodicMsg", status));
    return msg_id;
}

VoidResult Session::stop_periodic(std::uint32_t msg_id) {
    const std::uint32_t status = library_->calls().stop_periodic_msg(channel_id_.value_or(0), msg_id);
    if (status != STATUS_NOERROR) return std::unexpected(library_->call_failure("PassThruStopPeriodicMsg", status));
    return {};
}

Result<std::vector<ReceivedMessage>> Session::read(std::uint32_t max, std::uint32_t wait_ms) {
    std::vector<PassThruMessage> read;
    std::uint32_t count = 0;
    const std::uint32_t status = library_->calls().read_msgs(channel_id_.value_or(0), max, wait_ms, count, read);
    if (status == ERR_BUFFER_EMPTY) {
        count = 0;
    } else if (status == ERR_TIMEOUT) {
        // A timed-out read may still have delivered some messages; a library that leaves the count as it
        // was on failure delivered none.
        if (count >= max) count = 0;
    } else if (status != STATUS_NOERROR) {
        return std::unexpected(library_->call_failure("PassThruReadMsgs", status));
    }
    std::vector<ReceivedMessage> received;
    for (std::size_t i = 0; i < std::min<std::size_t>(count, read.size()); ++i) {
        PassThruMessage& msg = read[i];
        if ((msg.rx_status & kEchoBits) != 0) continue;
        received.push_back({msg.protocol_id, msg.rx_status, msg.timestamp, std::move(msg.data)});
    }
    return received;
}

Result<std::vector<std::uint8_t>> Session::fast_init(std::span<const std::uint8_t> request) {
    PassThruMessage response;
    const std::uint32_t status = library_->calls().fast_init(channel_id_.value_or(0), message(request, 0), response);
    if (status != STATUS_NOERROR) return std::unexpected(library_->call_failure("PassThruIoctl(FAST_INIT)", status));
    return std::move(response.data);
}

VoidResult Session::disconnect() {
    if (!channel_id_) return {};
    const std::uint32_t status = library_->calls().disconnect(*channel_id_);
    channel_id_.reset();
    if (status != STATUS_NOERROR) return std::unexpected(library_->call_failure("PassThruDisconnect", status));
    return {};
}

VoidResult Session::close() {
    VoidResult outcome = disconnect();
    if (device_open_) {
        const std::uint32_t status = library_->calls().close(device_id_);
        device_open_ = false;
        if (status != STATUS_NOERROR && outcome) {
            outcome = std::unexpected(library_->call_failure("PassThruClose", status));
        }
    }
    return outcome;
}

}  // namespace vexo::tools
