// A scripted J2534 library for the client's end-to-end tests: one ECU that answers a fixed set of OBD,
// UDS and K-line requests (on CAN only at the bit rate VEXO_FAKE_BAUD, when set), a trace of every call in
// the file named by VEXO_FAKE_TRACE, and the call named by VEXO_FAKE_FAIL refused. Like the real library it leaves *pNumMsgs alone when a read times out.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <string>
#include <thread>
#include <vector>

#include "vexo/j2534.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

struct Filter {
    std::uint32_t type;
    Bytes mask;
    Bytes pattern;
};

struct Fake {
    bool open = false;
    std::uint32_t protocol = 0;  // connected channel, 0 for none
    std::uint32_t flags = 0;
    std::uint32_t baud = 0;
    std::vector<Filter> filters;
    std::deque<PASSTHRU_MSG> rx;
    std::string last_error;
    std::uint32_t clock_us = 1234567;
    bool codes_cleared = false;  // after mode 04 only the code of a fault still present is stored
};

Fake fake;

std::string hex(const std::uint8_t* data, std::size_t size) {
    std::string text;
    char digits[4];
    for (std::size_t i = 0; i < size; ++i) {
        std::snprintf(digits, sizeof digits, i == 0 ? "%02X" : " %02X", data[i]);
        text += digits;
    }
    return text;
}

void trace(const std::string& line) {
    const char* path = std::getenv("VEXO_FAKE_TRACE");
    if (path == nullptr) return;
    if (FILE* file = std::fopen(path, "a")) {
        std::fprintf(file, "%s\n", line.c_str());
        std::fclose(file);
    }
}

// The call named in VEXO_FAKE_FAIL returns this status.
bool refused(const char* call) {
    const char* fail = std::getenv("VEXO_FAKE_FAIL");
    if (fail == nullptr || std::strcmp(fail, call) != 0) return false;
    fake.last_error = std::string("fake: ") + call + " refused";
    trace(std::string(call) + " refused");
    return true;
}

Bytes data_of(const PASSTHRU_MSG& msg) {
    return Bytes(msg.Data, msg.Data + std::min(msg.DataSize, PASSTHRU_MSG_DATA_SIZE));
}

void queue(std::uint32_t rx_status, const Bytes& data) {
    PASSTHRU_MSG msg{};
    msg.ProtocolID = fake.protocol;
    msg.RxStatus = rx_status;
    msg.Timestamp = fake.clock_us;
    fake.clock_us += 1000;
    msg.DataSize = static_cast<std::uint32_t>(data.size());
    msg.ExtraDataIndex = msg.DataSize;
    std::copy(data.begin(), data.end(), msg.Data);
    fake.rx.push_back(msg);
}

bool passes(const Bytes& data, std::uint32_t type) {
    for (const Filter& f : fake.filters) {
        if (f.type != type || data.size() < f.mask.size()) continue;
        bool match = true;
        for (std::size_t i = 0; i < f.mask.size(); ++i) match = match && (data[i] & f.mask[i]) == f.pattern[i];
        if (match) return true;
    }
    return false;
}

Bytes can_id(std::uint32_t id) {
    return {static_cast<std::uint8_t>(id >> 24), static_cast<std::uint8_t>(id >> 16),
            static_cast<std::uint8_t>(id >> 8), static_cast<std::uint8_t>(id)};
}

// The ECU's answers, by request payload; an empty list means silence.
std::vector<Bytes> answers(const Bytes& request) {
    const Bytes vin = {'W', 'V', 'W', 'Z', 'Z', 'Z', '1', 'J', 'Z', '3', 'W', '3', '8', '6', '7', '5', '2'};
    auto with_vin = [&](Bytes head) {
        head.insert(head.end(), vin.begin(), vin.end());
        return head;
    };
    if (request == Bytes{0x01, 0x00}) return {{0x41, 0x00, 0x08, 0x1A, 0x80, 0x01}};
    if (request == Bytes{0x01, 0x20}) return {{0x41, 0x20, 0x00, 0x02, 0x00, 0x01}};
    if (request == Bytes{0x01, 0x40}) return {{0x41, 0x40, 0x40, 0x00, 0x00, 0x00}};
    if (request == Bytes{0x01, 0x0C}) return {{0x41, 0x0C, 0x1A, 0xF8}};
    if (request == Bytes{0x01, 0x0D}) return {{0x41, 0x0D, 0x32}};
    if (request == Bytes{0x01, 0x05}) return {{0x41, 0x05, 0x7B}};
    if (request == Bytes{0x01, 0x11}) return {{0x41, 0x11, 0x80}};
    if (request == Bytes{0x01, 0x2F}) return {{0x41, 0x2F, 0x40}};
    if (request == Bytes{0x01, 0x42}) return {{0x41, 0x42, 0x37, 0x2A}};
    if (request == Bytes{0x09, 0x02}) return {with_vin({0x49, 0x02, 0x01})};
    if (request == Bytes{0x03} && fake.codes_cleared) return {{0x43, 0x01, 0xC1, 0x23}};
    if (request == Bytes{0x03}) return {{0x43, 0x02, 0x01, 0x33, 0xC1, 0x23}};
    if (request == Bytes{0x04}) {
        fake.codes_cleared = true;
        return {{0x44}};
    }
    if (request == Bytes{0x22, 0xF1, 0x90}) return {{0x7F, 0x22, 0x78}, with_vin({0x62, 0xF1, 0x90})};
    if (request.size() == 3 && request[0] == 0x22) return {{0x7F, 0x22, 0x31}};
    if (request == Bytes{0x10, 0x03}) return {{0x50, 0x03, 0x00, 0x32, 0x01, 0xF4}};
    // Pending and permanent codes: one, and none.
    if (request == Bytes{0x07}) return {{0x47, 0x01, 0x01, 0x71}};
    if (request == Bytes{0x0A}) return {{0x4A, 0x00}};
    // Security access with seed 12 34, whose key is 48 6E.
    if (request == Bytes{0x27, 0x01}) return {{0x67, 0x01, 0x12, 0x34}};
    if (request == Bytes{0x27, 0x02, 0x48, 0x6E}) return {{0x67, 0x02}};
    if (request.size() > 2 && request[0] == 0x27 && request[1] == 0x02) return {{0x7F, 0x27, 0x35}};
    return {};
}

void answer_iso15765(const Bytes& data, std::uint32_t tx_flags) {
    const std::uint32_t id = (std::uint32_t{data[0]} << 24) | (data[1] << 16) | (data[2] << 8) | data[3];
    // 11-bit ECUs answer on request ID + 8 (7DF too, as the engine ECU); 29-bit ones swap the addresses.
    std::uint32_t response_id = id == 0x7DF ? 0x7E8 : id + 8;
    if (id > 0x7FF) response_id = (id & 0xFFFF0000u) | ((id & 0xFF) << 8) | ((id >> 8) & 0xFF);
    queue(TX_INDICATION | (tx_flags & CAN_29BIT_ID), can_id(id));
    const char* only_baud = std::getenv("VEXO_FAKE_BAUD");
    if (only_baud != nullptr && std::strtoul(only_baud, nullptr, 10) != fake.baud) return;
    for (const Bytes& payload : answers(Bytes(data.begin() + 4, data.end()))) {
        Bytes response = can_id(response_id);
        response.insert(response.end(), payload.begin(), payload.end());
        if (!passes(response, FLOW_CONTROL_FILTER)) continue;
        if (payload.size() > 7) queue(ISO15765_FIRST_FRAME, can_id(response_id));
        queue(0, response);
    }
}

void answer_kline(const Bytes& frame) {
    // A C2 33 F1 01 00 request gets one answer from ECU 10, with checksum.
    if (frame == Bytes{0xC2, 0x33, 0xF1, 0x01, 0x00})
        queue(0, {0x86, 0xF1, 0x10, 0x41, 0x00, 0xBE, 0x3F, 0xA8, 0x13, 0x5E});
}

std::uint32_t fail_with(std::uint32_t status, const char* text) {
    fake.last_error = std::string("fake: ") + text;
    return status;
}

}  // namespace

extern "C" {

J2534_API uint32_t J2534_CALL PassThruOpen(void*, uint32_t* pDeviceID) {
    trace("PassThruOpen");
    if (refused("PassThruOpen")) return ERR_DEVICE_NOT_CONNECTED;
    fake = Fake{};
    fake.open = true;
    *pDeviceID = 1;
    return STATUS_NOERROR;
}

J2534_API uint32_t J2534_CALL PassThruClose(uint32_t) {
    trace("PassThruClose");
    if (!fake.open) return fail_with(ERR_DEVICE_NOT_CONNECTED, "not open");
    fake.open = false;
    return STATUS_NOERROR;
}

J2534_API uint32_t J2534_CALL PassThruConnect(uint32_t, uint32_t ProtocolID, uint32_t Flags, uint32_t BaudRate,
                                              uint32_t* pChannelID) {
    char line[96];
    std::snprintf(line, sizeof line, "PassThruConnect proto=%u flags=0x%x baud=%u", ProtocolID, Flags, BaudRate);
    trace(line);
    if (refused("PassThruConnect")) return ERR_INVALID_BAUDRATE;
    fake.protocol = ProtocolID;
    fake.flags = Flags;
    fake.baud = BaudRate;
    *pChannelID = ProtocolID;
    if (ProtocolID == CAN) {
        // Traffic already on the bus: an OBD answer and a 29-bit frame.
        fake.clock_us = 1234567;
        for (const Bytes& frame : {Bytes{0x00, 0x00, 0x07, 0xE8, 0x03, 0x41, 0x0C, 0x1A, 0xF8, 0x00, 0x00, 0x00},
                                   Bytes{0x18, 0xDA, 0xF1, 0x10, 0x02, 0x50, 0x03}}) {
            for (int i = 0; i < 3; ++i) queue(0, frame);
        }
    }
    return STATUS_NOERROR;
}

J2534_API uint32_t J2534_CALL PassThruDisconnect(uint32_t ChannelID) {
    trace("PassThruDisconnect ch=" + std::to_string(ChannelID));
    fake.protocol = 0;
    fake.filters.clear();
    fake.rx.clear();
    return STATUS_NOERROR;
}

J2534_API uint32_t J2534_CALL PassThruReadMsgs(uint32_t, PASSTHRU_MSG* pMsg, uint32_t* pNumMsgs, uint32_t Timeout) {
    if (refused("PassThruReadMsgs")) return ERR_FAILED;
    uint32_t count = 0;
    while (count < *pNumMsgs && !fake.rx.empty()) {
        PASSTHRU_MSG msg = fake.rx.front();
        fake.rx.pop_front();
        if (fake.protocol == CAN && !passes(data_of(msg), PASS_FILTER)) continue;
        pMsg[count++] = msg;
    }
    if (count == 0) {
        if (Timeout == 0) {
            *pNumMsgs = 0;
            return ERR_BUFFER_EMPTY;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(std::min<uint32_t>(Timeout, 20)));
        return fail_with(ERR_TIMEOUT, "read timed out");
    }
    *pNumMsgs = count;
    return STATUS_NOERROR;
}

J2534_API uint32_t J2534_CALL PassThruWriteMsgs(uint32_t, PASSTHRU_MSG* pMsg, uint32_t* pNumMsgs, uint32_t) {
    const Bytes data = data_of(*pMsg);
    char flags[32];
    std::snprintf(flags, sizeof flags, " flags=0x%x", pMsg->TxFlags);
    trace("PassThruWriteMsgs data=" + hex(data.data(), data.size()) + flags);
    if (refused("PassThruWriteMsgs")) return ERR_FAILED;
    if (*pNumMsgs != 1 || pMsg->ProtocolID != fake.protocol) return fail_with(ERR_MSG_PROTOCOL_ID, "protocol mismatch");
    if (fake.protocol == ISO15765 && data.size() >= 5) answer_iso15765(data, pMsg->TxFlags);
    if (fake.protocol == ISO14230) answer_kline(data);
    return STATUS_NOERROR;
}

// Periodic messages are refused, unless VEXO_FAKE_PERIODIC is set: then each is traced and numbered 7.
J2534_API uint32_t J2534_CALL PassThruStartPeriodicMsg(uint32_t, PASSTHRU_MSG* pMsg, uint32_t* pMsgID, uint32_t TimeInterval) {
    if (std::getenv("VEXO_FAKE_PERIODIC") == nullptr) return fail_with(ERR_NOT_SUPPORTED, "periodic");
    const Bytes data = data_of(*pMsg);
    char rest[64];
    std::snprintf(rest, sizeof rest, " flags=0x%x interval=%u", pMsg->TxFlags, TimeInterval);
    trace("PassThruStartPeriodicMsg data=" + hex(data.data(), data.size()) + rest);
    *pMsgID = 7;
    return STATUS_NOERROR;
}

J2534_API uint32_t J2534_CALL PassThruStopPeriodicMsg(uint32_t, uint32_t MsgID) {
    if (std::getenv("VEXO_FAKE_PERIODIC") == nullptr) return fail_with(ERR_NOT_SUPPORTED, "periodic");
    trace("PassThruStopPeriodicMsg id=" + std::to_string(MsgID));
    return STATUS_NOERROR;
}

J2534_API uint32_t J2534_CALL PassThruStartMsgFilter(uint32_t, uint32_t FilterType, PASSTHRU_MSG* pMaskMsg,
                                                     PASSTHRU_MSG* pPatternMsg, PASSTHRU_MSG* pFlowControlMsg,
                                                     uint32_t* pFilterID) {
    const Bytes mask = data_of(*pMaskMsg);
    const Bytes pattern = data_of(*pPatternMsg);
    std::string line = "PassThruStartMsgFilter type=" + std::to_string(FilterType) +
                       " mask=" + hex(mask.data(), mask.size()) + " pattern=" + hex(pattern.data(), pattern.size());
    if (pFlowControlMsg != nullptr) line += " flow=" + hex(pFlowControlMsg->Data, pFlowControlMsg->DataSize);
    trace(line);
    if (refused("PassThruStartMsgFilter")) return ERR_FAILED;
    fake.filters.push_back({FilterType, mask, pattern});
    *pFilterID = static_cast<uint32_t>(fake.filters.size());
    return STATUS_NOERROR;
}

J2534_API uint32_t J2534_CALL PassThruStopMsgFilter(uint32_t, uint32_t) {
    return fail_with(ERR_NOT_SUPPORTED, "stop filter");
}

J2534_API uint32_t J2534_CALL PassThruSetProgrammingVoltage(uint32_t, uint32_t, uint32_t) {
    return fail_with(ERR_NOT_SUPPORTED, "voltage");
}

J2534_API uint32_t J2534_CALL PassThruReadVersion(uint32_t, char* pFirmwareVersion, char* pDllVersion,
                                                  char* pApiVersion) {
    if (refused("PassThruReadVersion")) return ERR_FAILED;
    std::strcpy(pFirmwareVersion, "FAKE 1.0");
    std::strcpy(pDllVersion, "9.9.9");
    std::strcpy(pApiVersion, "04.04");
    return STATUS_NOERROR;
}

J2534_API uint32_t J2534_CALL PassThruGetLastError(char* pErrorDescription) {
    std::snprintf(pErrorDescription, 80, "%s", fake.last_error.c_str());
    return STATUS_NOERROR;
}

J2534_API uint32_t J2534_CALL PassThruIoctl(uint32_t, uint32_t IoctlID, void* pInput, void* pOutput) {
    trace("PassThruIoctl id=" + std::to_string(IoctlID));
    if (IoctlID == READ_VBATT) {
        if (refused("READ_VBATT")) return ERR_FAILED;
        *static_cast<uint32_t*>(pOutput) = 12345;
        return STATUS_NOERROR;
    }
    if (IoctlID == CLEAR_RX_BUFFER) {
        fake.rx.clear();
        return STATUS_NOERROR;
    }
    if (IoctlID == FAST_INIT) {
        const Bytes request = data_of(*static_cast<PASSTHRU_MSG*>(pInput));
        trace("FAST_INIT " + hex(request.data(), request.size()));
        if (request != Bytes{0xC1, 0x33, 0xF1, 0x81}) return fail_with(ERR_TIMEOUT, "no answer to fast init");
        const Bytes response = {0x83, 0xF1, 0x10, 0xC1, 0xEF, 0x8F, 0xC3};
        auto* out = static_cast<PASSTHRU_MSG*>(pOutput);
        out->ProtocolID = ISO14230;
        out->DataSize = static_cast<uint32_t>(response.size());
        std::copy(response.begin(), response.end(), out->Data);
        return STATUS_NOERROR;
    }
    return fail_with(ERR_INVALID_IOCTL_ID, "ioctl");
}

}  // extern "C"
