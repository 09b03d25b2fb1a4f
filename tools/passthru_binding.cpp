// One layout's binding of a loaded J2534 library, compiled once per layout: with
// VEXO_J2534_FIXED32 and without. Each copy includes the public header inside a namespace of
// its own, so the two layouts of PASSTHRU_MSG never meet under one name in the program, and
// declares no prototype, as the library is only ever reached through its symbols.
#include <limits.h>
#include <stddef.h>
#include <stdint.h>

#if defined(VEXO_J2534_FIXED32)
#define VEXO_LAYOUT fixed32_layout
#else
#define VEXO_LAYOUT platform_layout
#endif

#define VEXO_J2534_NO_PROTOTYPES
namespace vexo::tools::VEXO_LAYOUT {
#include "vexo/j2534.h"
}  // namespace vexo::tools::VEXO_LAYOUT

#include <algorithm>
#include <array>
#include <cstring>

#include "passthru_calls.h"

namespace vexo::tools::VEXO_LAYOUT {

namespace {

std::uint32_t status_of(J2534_STATUS status) { return static_cast<std::uint32_t>(status); }

template <class T>
std::uint32_t narrow(T value) {
    if constexpr (sizeof(T) > sizeof(std::uint32_t)) {
        if (value > 0xFFFFFFFFu) return 0xFFFFFFFFu;
    }
    return static_cast<std::uint32_t>(value);
}

PASSTHRU_MSG record_of(const PassThruMessage& msg) {
    PASSTHRU_MSG record;
    std::memset(&record, 0, sizeof record);
    const std::size_t size = std::min<std::size_t>(msg.data.size(), PASSTHRU_MSG_DATA_SIZE);
    record.ProtocolID = msg.protocol_id;
    record.RxStatus = msg.rx_status;
    record.TxFlags = msg.tx_flags;
    record.Timestamp = msg.timestamp;
    record.DataSize = static_cast<J2534_ULONG>(size);
    record.ExtraDataIndex = msg.extra_data_index;
    std::copy_n(msg.data.begin(), size, record.Data);
    return record;
}

PassThruMessage message_of(const PASSTHRU_MSG& record) {
    const std::size_t size = std::min<std::size_t>(record.DataSize, PASSTHRU_MSG_DATA_SIZE);
    return {narrow(record.ProtocolID), narrow(record.RxStatus),       narrow(record.TxFlags),
            narrow(record.Timestamp),  narrow(record.ExtraDataIndex), {record.Data, record.Data + size}};
}

class Calls final : public PassThruCalls {
public:
    explicit Calls(const J2534_FUNCTIONS& fn) : fn_(fn) {}

    std::uint32_t open(std::uint32_t& device_id) const override {
        J2534_ULONG id = 0;
        const auto status = status_of(fn_.PassThruOpen(nullptr, &id));
        device_id = narrow(id);
        return status;
    }
    std::uint32_t close(std::uint32_t device_id) const override { return status_of(fn_.PassThruClose(device_id)); }
    std::uint32_t connect(std::uint32_t device_id, std::uint32_t protocol_id, std::uint32_t flags, std::uint32_t baud,
                          std::uint32_t& channel_id) const override {
        J2534_ULONG id = 0;
        const auto status = status_of(fn_.PassThruConnect(device_id, protocol_id, flags, baud, &id));
        channel_id = narrow(id);
        return status;
    }
    std::uint32_t disconnect(std::uint32_t channel_id) const override {
        return status_of(fn_.PassThruDisconnect(channel_id));
    }
    std::uint32_t read_msgs(std::uint32_t channel_id, std::uint32_t max, std::uint32_t timeout_ms, std::uint32_t& count,
                            std::vector<PassThruMessage>& out) const override {
        std::vector<PASSTHRU_MSG> records(max);
        J2534_ULONG n = max;
        const auto status = status_of(fn_.PassThruReadMsgs(channel_id, records.data(), &n, timeout_ms));
        count = narrow(n);
        out.clear();
        for (std::size_t i = 0; i < std::min<std::size_t>(count, max); ++i) out.push_back(message_of(records[i]));
        return status;
    }
    std::uint32_t write_msgs(std::uint32_t channel_id, std::span<const PassThruMessage> msgs, std::uint32_t& count,
                             std::uint32_t timeout_ms) const override {
        std::vector<PASSTHRU_MSG> records;
        for (const PassThruMessage& msg : msgs) records.push_back(record_of(msg));
        J2534_ULONG n = static_cast<J2534_ULONG>(records.size());
        const auto status = status_of(fn_.PassThruWriteMsgs(channel_id, records.data(), &n, timeout_ms));
        count = narrow(n);
        return status;
    }
    std::uint32_t start_periodic_msg(std::uint32_t channel_id, const PassThruMessage& msg, std::uint32_t interval_ms,
                                     std::uint32_t& msg_id) const override {
        PASSTHRU_MSG record = record_of(msg);
        J2534_ULONG id = 0;
        const auto status = status_of(fn_.PassThruStartPeriodicMsg(channel_id, &record, &id, interval_ms));
        msg_id = narrow(id);
        return status;
    }
    std::uint32_t stop_periodic_msg(std::uint32_t channel_id, std::uint32_t msg_id) const override {
        return status_of(fn_.PassThruStopPeriodicMsg(channel_id, msg_id));
    }
    std::uint32_t start_msg_filter(std::uint32_t channel_id, std::uint32_t filter_type, const PassThruMessage& mask,
                                   const PassThruMessage& pattern, const PassThruMessage* flow_control,
                                   std::uint32_t& filter_id) const override {
        PASSTHRU_MSG mask_record = record_of(mask);
        PASSTHRU_MSG pattern_record = record_of(pattern);
        PASSTHRU_MSG flow_record = record_of(flow_control != nullptr ? *flow_control : PassThruMessage{});
        J2534_ULONG id = 0;
        const auto status =
            status_of(fn_.PassThruStartMsgFilter(channel_id, filter_type, &mask_record, &pattern_record,
                                                 flow_control != nullptr ? &flow_record : nullptr, &id));
        filter_id = narrow(id);
        return status;
    }
    std::uint32_t read_version(std::uint32_t device_id, std::string& firmware, std::string& dll,
                               std::string& api) const override {
        // The standard promises at most 80 bytes; larger, zeroed buffers survive a library that
        // writes more or forgets the NUL.
        std::array<char, 256> firmware_text{};
        std::array<char, 256> dll_text{};
        std::array<char, 256> api_text{};
        const auto status =
            status_of(fn_.PassThruReadVersion(device_id, firmware_text.data(), dll_text.data(), api_text.data()));
        firmware_text.back() = dll_text.back() = api_text.back() = '\0';
        firmware = firmware_text.data();
        dll = dll_text.data();
        api = api_text.data();
        return status;
    }
    std::uint32_t get_last_error(std::string& text) const override {
        std::array<char, 512> buffer{};
        const auto status = status_of(fn_.PassThruGetLastError(buffer.data()));
        buffer.back() = '\0';
        text = buffer.data();
        return status;
    }
    std::uint32_t read_vbatt(std::uint32_t device_id, std::uint32_t& millivolts) const override {
        J2534_ULONG value = 0;
        const auto status = status_of(fn_.PassThruIoctl(device_id, READ_VBATT, nullptr, &value));
        millivolts = narrow(value);
        return status;
    }
    std::uint32_t clear_rx_buffer(std::uint32_t channel_id) const override {
        return status_of(fn_.PassThruIoctl(channel_id, CLEAR_RX_BUFFER, nullptr, nullptr));
    }
    std::uint32_t fast_init(std::uint32_t channel_id, const PassThruMessage& request,
                            PassThruMessage& response) const override {
        PASSTHRU_MSG input = record_of(request);
        PASSTHRU_MSG output = record_of(PassThruMessage{});
        const auto status = status_of(fn_.PassThruIoctl(channel_id, FAST_INIT, &input, &output));
        response = message_of(output);
        return status;
    }

private:
    J2534_FUNCTIONS fn_;
};

template <class Fn>
void bind_one(const DynamicLibrary& library, const char* name, Fn& out, std::string& missing) {
    out = reinterpret_cast<Fn>(library.symbol(name));
    if (out == nullptr) missing += (missing.empty() ? "" : ", ") + std::string(name);
}

}  // namespace

Binding bind(const DynamicLibrary& library) {
    J2534_FUNCTIONS fn{};
    std::string missing;
#define VEXO_BIND(name, parameters) bind_one(library, #name, fn.name, missing);
    VEXO_J2534_FUNCTIONS(VEXO_BIND)
#undef VEXO_BIND
    if (!missing.empty()) return std::unexpected(missing);
    return std::make_unique<const Calls>(fn);
}

}  // namespace vexo::tools::VEXO_LAYOUT
