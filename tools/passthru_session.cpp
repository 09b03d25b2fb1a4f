#include "passthru_session.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace vexo::tools {

namespace {

constexpr std::uint32_t kEchoBits = TX_MSG_TYPE | TX_INDICATION;

std::span<const std::uint8_t> message_data(const PASSTHRU_MSG& msg) {
    return {msg.Data, std::min<std::size_t>(msg.DataSize, PASSTHRU_MSG_DATA_SIZE)};
}

}  // namespace

Result<Session> Session::open(const J2534Library& library) {
    std::uint32_t device_id = 0;
    const std::uint32_t status = library.fn().open(nullptr, &device_id);
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

PASSTHRU_MSG Session::message(std::span<const std::uint8_t> data, std::uint32_t tx_flags) const {
    PASSTHRU_MSG msg;
    std::memset(&msg, 0, sizeof msg);
    msg.ProtocolID = protocol_id_;
    msg.TxFlags = tx_flags;
    const std::size_t size = std::min<std::size_t>(data.size(), PASSTHRU_MSG_DATA_SIZE);
    std::copy_n(data.begin(), size, msg.Data);
    msg.DataSize = static_cast<std::uint32_t>(size);
    msg.ExtraDataIndex = msg.DataSize;
    return msg;
}

Result<VersionTexts> Session::read_version() {
    std::array<char, 256> firmware{};
    std::array<char, 256> dll{};
    std::array<char, 256> api{};
    const std::uint32_t status = library_->fn().read_version(device_id_, firmware.data(), dll.data(), api.data());
    if (status != STATUS_NOERROR) return std::unexpected(library_->call_failure("PassThruReadVersion", status));
    firmware.back() = dll.back() = api.back() = '\0';
    return VersionTexts{firmware.data(), dll.data(), api.data()};
}

Result<std::uint32_t> Session::read_battery_millivolts() {
    std::uint32_t millivolts = 0;
    const std::uint32_t status = library_->fn().ioctl(device_id_, READ_VBATT, nullptr, &millivolts);
    if (status != STATUS_NOERROR) return std::unexpected(library_->call_failure("PassThruIoctl(READ_VBATT)", status));
    return millivolts;
}

VoidResult Session::connect(std::uint32_t protocol_id, std::uint32_t flags, std::uint32_t baud) {
    std::uint32_t channel_id = 0;
    const std::uint32_t status = library_->fn().connect(device_id_, protocol_id, flags, baud, &channel_id);
    if (status != STATUS_NOERROR) return std::unexpected(library_->call_failure("PassThruConnect", status));
    channel_id_ = channel_id;
    protocol_id_ = protocol_id;
    return {};
}

Result<std::uint32_t> Session::start_filter(std::uint32_t filter_type, std::span<const std::uint8_t> mask,
                                            std::span<const std::uint8_t> pattern,
                                            std::optional<std::span<const std::uint8_t>> flow_control,
                                            std::uint32_t tx_flags) {
    PASSTHRU_MSG mask_msg = message(mask, tx_flags);
    PASSTHRU_MSG pattern_msg = message(pattern, tx_flags);
    PASSTHRU_MSG flow_msg = message(flow_control.value_or(std::span<const std::uint8_t>{}), tx_flags);
    std::uint32_t filter_id = 0;
    const std::uint32_t status = library_->fn().start_msg_filter(
        channel_id_.value_or(0), filter_type, &mask_msg, &pattern_msg, flow_control ? &flow_msg : nullptr, &filter_id);
    if (status != STATUS_NOERROR) return std::unexpected(library_->call_failure("PassThruStartMsgFilter", status));
    return filter_id;
}

VoidResult Session::clear_rx_buffer() {
    const std::uint32_t status = library_->fn().ioctl(channel_id_.value_or(0), CLEAR_RX_BUFFER, nullptr, nullptr);
    if (status != STATUS_NOERROR) {
        return std::unexpected(library_->call_failure("PassThruIoctl(CLEAR_RX_BUFFER)", status));
    }
    return {};
}

VoidResult Session::write(std::span<const std::uint8_t> data, std::uint32_t tx_flags, std::uint32_t timeout_ms) {
    PASSTHRU_MSG msg = message(data, tx_flags);
    std::uint32_t count = 1;
    const std::uint32_t status = library_->fn().write_msgs(channel_id_.value_or(0), &msg, &count, timeout_ms);
    if (status != STATUS_NOERROR) return std::unexpected(library_->call_failure("PassThruWriteMsgs", status));
    return {};
}

Result<std::vector<ReceivedMessage>> Session::read(std::uint32_t max, std::uint32_t wait_ms) {
    std::vector<PASSTHRU_MSG> buffer(max);
    std::uint32_t count = max;
    const std::uint32_t status = library_->fn().read_msgs(channel_id_.value_or(0), buffer.data(), &count, wait_ms);
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
    for (std::uint32_t i = 0; i < std::min(count, max); ++i) {
        const PASSTHRU_MSG& msg = buffer[i];
        if ((msg.RxStatus & kEchoBits) != 0) continue;
        const auto data = message_data(msg);
        received.push_back({msg.ProtocolID, msg.RxStatus, msg.Timestamp, {data.begin(), data.end()}});
    }
    return received;
}

Result<std::vector<std::uint8_t>> Session::fast_init(std::span<const std::uint8_t> request) {
    PASSTHRU_MSG input = message(request, 0);
    PASSTHRU_MSG output = message({}, 0);
    const std::uint32_t status = library_->fn().ioctl(channel_id_.value_or(0), FAST_INIT, &input, &output);
    if (status != STATUS_NOERROR) return std::unexpected(library_->call_failure("PassThruIoctl(FAST_INIT)", status));
    const auto data = message_data(output);
    return std::vector<std::uint8_t>(data.begin(), data.end());
}

VoidResult Session::disconnect() {
    if (!channel_id_) return {};
    const std::uint32_t status = library_->fn().disconnect(*channel_id_);
    channel_id_.reset();
    if (status != STATUS_NOERROR) return std::unexpected(library_->call_failure("PassThruDisconnect", status));
    return {};
}

VoidResult Session::close() {
    VoidResult outcome = disconnect();
    if (device_open_) {
        const std::uint32_t status = library_->fn().close(device_id_);
        device_open_ = false;
        if (status != STATUS_NOERROR && outcome) {
            outcome = std::unexpected(library_->call_failure("PassThruClose", status));
        }
    }
    return outcome;
}

}  // namespace vexo::tools
