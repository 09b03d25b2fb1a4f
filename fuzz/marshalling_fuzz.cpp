// The entry points' marshalling: PASSTHRU_MSG, SCONFIG_LIST and SBYTE_ARRAY records with
// hostile contents (sizes, counts, indexes), every pointer valid for the count it claims.
// A stub device behind the slot answers with messages and bytes of hostile sizes too.
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "api/device_slot.h"
#include "fuzz_input.h"
#include "vexo/j2534.h"

using namespace vexo;

namespace {

FuzzInput* script = nullptr;  // the current input, for the stub's answers

Bytes hostile_bytes() {
    const std::size_t n = script->u16() % 5000;
    Bytes out = script->bytes(n);
    out.resize(n, 0xA5);
    return out;
}

class StubDevice final : public Device {
public:
    Result<std::uint32_t> open(std::uint32_t) override { return 1u; }
    VoidResult close(std::uint32_t) override { return {}; }
    Result<std::uint32_t> connect(std::uint32_t, std::uint32_t protocol_id, std::uint32_t, std::uint32_t) override {
        return protocol_id;
    }
    Result<std::vector<Message>> read_msgs(std::uint32_t, std::uint32_t max_msgs, std::uint32_t) override {
        std::vector<Message> out;
        const std::uint32_t n = std::min<std::uint32_t>(max_msgs, script->byte() % 8);
        for (std::uint32_t i = 0; i < n; ++i) {
            Message m;
            m.data = hostile_bytes();
            m.protocol_id = script->u32();
            m.extra_data_index = script->u32();
            out.push_back(std::move(m));
        }
        return out;
    }
    WriteResult write_msgs(std::uint32_t, std::span<const Message> msgs, std::uint32_t) override {
        for (const Message& m : msgs) check(m.data.size() <= PASSTHRU_MSG_DATA_SIZE);
        return static_cast<std::uint32_t>(msgs.size());
    }
    Result<std::uint32_t> start_periodic_msg(std::uint32_t, const Message& msg, std::uint32_t) override {
        check(msg.data.size() <= PASSTHRU_MSG_DATA_SIZE);
        return 1u;
    }
    Result<std::uint32_t> start_msg_filter(std::uint32_t, const FilterSpec& filter) override {
        check(filter.mask.data.size() <= PASSTHRU_MSG_DATA_SIZE);
        return 1u;
    }
    Result<IoctlOutput> ioctl(std::uint32_t, std::uint32_t ioctl_id, const IoctlInput*) override {
        if (ioctl_id == FAST_INIT || ioctl_id == FIVE_BAUD_INIT) return IoctlOutput(hostile_bytes());
        if (ioctl_id == READ_VBATT) return IoctlOutput(script->u32());
        return IoctlOutput(IoctlNothing{});
    }

private:
    static void check(bool holds) {
        if (!holds) __builtin_trap();
    }
};

PASSTHRU_MSG hostile_message() {
    PASSTHRU_MSG msg;
    std::memset(&msg, script->byte(), sizeof msg);
    msg.ProtocolID = script->u32();
    msg.RxStatus = script->u32();
    msg.TxFlags = script->u32();
    msg.Timestamp = script->u32();
    msg.DataSize = script->u32();
    msg.ExtraDataIndex = script->u32();
    const Bytes data = script->bytes(script->u16() % (PASSTHRU_MSG_DATA_SIZE + 1));
    if (!data.empty()) std::memcpy(msg.Data, data.data(), data.size());
    return msg;
}

constexpr std::uint32_t kIoctls[] = {GET_CONFIG,          SET_CONFIG,           READ_VBATT,      FIVE_BAUD_INIT,
                                     FAST_INIT,           CLEAR_TX_BUFFER,      CLEAR_RX_BUFFER, CLEAR_PERIODIC_MSGS,
                                     CLEAR_MSG_FILTERS,   CLEAR_FUNCT_MSG_LOOKUP_TABLE,
                                     ADD_TO_FUNCT_MSG_LOOKUP_TABLE, DELETE_FROM_FUNCT_MSG_LOOKUP_TABLE,
                                     READ_PROG_VOLTAGE};

void ioctl_call(std::uint32_t channel) {
    const std::uint32_t id = kIoctls[script->byte() % std::size(kIoctls)];
    // Each record kind in the form this ID takes; counts as claimed, arrays that long.
    std::vector<SCONFIG> pairs(script->byte() % 64);
    for (SCONFIG& pair : pairs) pair = {script->u32(), script->u32()};
    SCONFIG_LIST list{static_cast<std::uint32_t>(pairs.size()), pairs.empty() ? nullptr : pairs.data()};
    Bytes in_bytes = script->bytes(script->byte());
    SBYTE_ARRAY in_array{static_cast<std::uint32_t>(in_bytes.size()), in_bytes.empty() ? nullptr : in_bytes.data()};
    Bytes out_bytes(script->u16() % 5000);
    SBYTE_ARRAY out_array{static_cast<std::uint32_t>(out_bytes.size()), out_bytes.empty() ? nullptr : out_bytes.data()};
    PASSTHRU_MSG in_msg = hostile_message();
    PASSTHRU_MSG out_msg{};
    std::uint32_t value = 0;
    switch (id) {
        case GET_CONFIG:
        case SET_CONFIG: (void)PassThruIoctl(channel, id, &list, nullptr); break;
        case FIVE_BAUD_INIT: (void)PassThruIoctl(channel, id, &in_array, &out_array); break;
        case ADD_TO_FUNCT_MSG_LOOKUP_TABLE:
        case DELETE_FROM_FUNCT_MSG_LOOKUP_TABLE: (void)PassThruIoctl(channel, id, &in_array, nullptr); break;
        case FAST_INIT: (void)PassThruIoctl(channel, id, &in_msg, &out_msg); break;
        case READ_VBATT:
        case READ_PROG_VOLTAGE: (void)PassThruIoctl(channel, id, nullptr, &value); break;
        default: (void)PassThruIoctl(channel, id, nullptr, nullptr); break;
    }
    if (out_msg.DataSize > PASSTHRU_MSG_DATA_SIZE || out_msg.ExtraDataIndex > out_msg.DataSize) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    setenv("TEMP", "/nonexistent/vexo-fuzz", 1);
    api::set_device_factory([] { return std::make_unique<StubDevice>(); });
    std::uint32_t id = 0;
    if (PassThruOpen(nullptr, &id) != STATUS_NOERROR) std::abort();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzInput input({data, size});
    script = &input;
    while (!input.empty()) {
        const std::uint32_t channel = input.byte() % 8;
        switch (input.byte() % 5) {
            case 0: {
                std::vector<PASSTHRU_MSG> msgs(input.byte() % 8);
                for (PASSTHRU_MSG& msg : msgs) msg = hostile_message();
                std::uint32_t n = static_cast<std::uint32_t>(msgs.size());
                (void)PassThruWriteMsgs(channel, msgs.empty() ? nullptr : msgs.data(), &n, input.u32() % 10);
                if (n > msgs.size()) __builtin_trap();
                break;
            }
            case 1: {
                std::vector<PASSTHRU_MSG> msgs(1 + input.byte() % 8);
                std::uint32_t n = static_cast<std::uint32_t>(msgs.size());
                (void)PassThruReadMsgs(channel, msgs.data(), &n, 0);
                if (n > msgs.size()) __builtin_trap();
                for (std::uint32_t i = 0; i < n; ++i) {
                    if (msgs[i].DataSize > PASSTHRU_MSG_DATA_SIZE || msgs[i].ExtraDataIndex > msgs[i].DataSize) {
                        __builtin_trap();
                    }
                }
                break;
            }
            case 2: ioctl_call(channel); break;
            case 3: {
                PASSTHRU_MSG mask = hostile_message();
                PASSTHRU_MSG pattern = hostile_message();
                PASSTHRU_MSG flow = hostile_message();
                std::uint32_t id = 0;
                (void)PassThruStartMsgFilter(channel, input.u32() % 5, &mask, &pattern,
                                             input.byte() % 2 ? &flow : nullptr, &id);
                break;
            }
            default: {
                PASSTHRU_MSG msg = hostile_message();
                std::uint32_t id = 0;
                (void)PassThruStartPeriodicMsg(channel, &msg, &id, input.u32());
                break;
            }
        }
    }
    script = nullptr;
    return 0;
}
