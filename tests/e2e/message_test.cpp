// Writing messages to the vehicle and reading what the cable delivers.
#include <chrono>

#include "passthru_fixture.h"

namespace vexo::e2e {
namespace {

using Strings = std::vector<std::string>;
using MessageEntryPoints = PassThruTest;

const std::string kEcuId = bytes({0x00, 0x00, 0x07, 0xE8});
constexpr const char* kNoDevice = "transport error: I/O error: No such device (it may have been disconnected)";

Strings frame_lines(const Strings& lines) {
    Strings frames;
    for (const auto& line : lines) {
        if (line.starts_with("[tactrix] tactrix RX frame: ")) frames.push_back(line);
    }
    return frames;
}

void expect_header(const PASSTHRU_MSG& msg, std::uint32_t protocol, std::uint32_t timestamp, std::uint32_t size) {
    EXPECT_EQ(msg.ProtocolID, protocol);
    EXPECT_EQ(msg.RxStatus, 0u);
    EXPECT_EQ(msg.TxFlags, 0u);
    EXPECT_EQ(msg.Timestamp, timestamp);
    EXPECT_EQ(msg.DataSize, size);
    EXPECT_EQ(msg.ExtraDataIndex, size);
}

TEST_F(MessageEntryPoints, WriteOnIso15765SendsAttWithThePadFlag) {
    open_device();
    connect(ISO15765, 500000);
    const std::string att = "att6 6 64\r\n" + bytes({0x00, 0x00, 0x07, 0xDF, 0x09, 0x02});
    PASSTHRU_MSG msg = passthru_msg(ISO15765, ISO15765_FRAME_PAD, {0x00, 0x00, 0x07, 0xDF, 0x09, 0x02});
    J2534_ULONG n = 1;
    ASSERT_EQ(pt.PassThruWriteMsgs(ISO15765, &msg, &n, 100), STATUS_NOERROR);
    EXPECT_EQ(n, 1u);
    EXPECT_EQ(wire.take(), att);
    EXPECT_EQ(log.take(), (Strings{
                              wire_line("TX", att),
                              "[j2534] PassThruWriteMsgs OK ch=6 sent=1 first=[tx_flags=0x40 data=[00 00 07 DF 09 02]]",
                          }));

    // Without the flag from the application the cable still gets it.
    ASSERT_EQ(write(ISO15765, passthru_msg(ISO15765, 0, {0x00, 0x00, 0x07, 0xDF, 0x09, 0x02})), STATUS_NOERROR);
    EXPECT_EQ(wire.take(), att);
    EXPECT_EQ(log.take().back(),
              "[j2534] PassThruWriteMsgs OK ch=6 sent=1 first=[tx_flags=0x0 data=[00 00 07 DF 09 02]]");
}

TEST_F(MessageEntryPoints, WriteFlagsOnCanAndKLine) {
    open_device();
    connect(CAN, 500000, CAN_29BIT_ID);
    connect(ISO9141, 10400);
    ASSERT_EQ(write(CAN, passthru_msg(CAN, CAN_29BIT_ID, {0x18, 0xDB, 0x33, 0xF1, 0x02, 0x01, 0x0D})), STATUS_NOERROR);
    EXPECT_EQ(wire.take(), "att5 7 320\r\n" + bytes({0x18, 0xDB, 0x33, 0xF1, 0x02, 0x01, 0x0D}));
    // K-line flags go out as the application gave them.
    ASSERT_EQ(write(ISO9141, passthru_msg(ISO9141, 0, {0x68, 0x6A, 0xF1, 0x01, 0x00, 0xC4})), STATUS_NOERROR);
    EXPECT_EQ(wire.take(), "att3 6 0\r\n" + bytes({0x68, 0x6A, 0xF1, 0x01, 0x00, 0xC4}));
}

TEST_F(MessageEntryPoints, WriteSendsEveryMessageAndSummarisesTheFirst) {
    open_device();
    connect(ISO15765, 500000);
    PASSTHRU_MSG msgs[2] = {passthru_msg(ISO15765, 0, {0x00, 0x00, 0x07, 0xE0, 0x3E, 0x00}),
                            passthru_msg(ISO15765, 0, {0x00, 0x00, 0x07, 0xE0, 0x22, 0xF1, 0x90})};
    // 30 data bytes in the first: the summary shows 24 of them.
    msgs[0].DataSize = 30;
    for (int i = 6; i < 30; ++i) msgs[0].Data[i] = static_cast<std::uint8_t>(i);
    J2534_ULONG n = 2;
    ASSERT_EQ(pt.PassThruWriteMsgs(ISO15765, msgs, &n, 0), STATUS_NOERROR);
    EXPECT_EQ(n, 2u);
    EXPECT_EQ(wire.take(), "att6 30 64\r\n" + data_of(msgs[0]) + "att6 7 64\r\n" + data_of(msgs[1]));
    EXPECT_EQ(log.take().back(),
              "[j2534] PassThruWriteMsgs OK ch=6 sent=2 first=[tx_flags=0x0 data=[00 00 07 E0 3E 00 06 07 08 09 0A 0B "
              "0C 0D 0E 0F 10 11 12 13 14 15 16 17]]");

    n = 0;
    ASSERT_EQ(pt.PassThruWriteMsgs(ISO15765, msgs, &n, 0), STATUS_NOERROR);
    EXPECT_EQ(n, 0u);
    EXPECT_EQ(wire.take(), "");
    EXPECT_EQ(log.take(), Strings{"[j2534] PassThruWriteMsgs OK ch=6 sent=0 first=[]"});
}

// A message the protocol cannot carry is refused, nothing of it written; the one before it is
// sent. DataSize beyond the record's 4128 bytes counts as 4128.
TEST_F(MessageEntryPoints, MessagesTheProtocolCannotCarryAreRefused) {
    open_device();
    for (std::uint32_t protocol : {CAN, ISO15765, ISO9141, ISO14230}) connect(protocol, 10400);
    struct Case {
        std::uint32_t protocol, tx_flags, size;
        std::string refusal;  // empty: sent
    } const cases[] = {
        {CAN, 0, 13, "CAN message of 13 bytes: a CAN frame holds a 4-byte ID and at most 8 data bytes"},
        {CAN, 0, 3, "CAN message of 3 bytes: a CAN frame holds a 4-byte ID and at most 8 data bytes"},
        {CAN, 0, 12, ""},
        {ISO15765, 0, 4, "ISO15765 message of 4 bytes: it needs a 4-byte ID and 1 to 4095 data bytes"},
        {ISO15765, 0, 5000, "ISO15765 message of 4128 bytes: it needs a 4-byte ID and 1 to 4095 data bytes"},
        {ISO15765, ISO15765_ADDR_TYPE, 5, "ISO15765 message of 5 bytes: extended addressing needs 6 to 4100 bytes"},
        {ISO15765, ISO15765_ADDR_TYPE, 4100, ""},
        {ISO9141, 0, 0, "ISO9141 message of 0 bytes: it needs 1 to 260 bytes"},
        {ISO14230, 0, 0, "ISO14230 message of 0 bytes: it needs 1 to 260 bytes"},
    };
    for (const Case& c : cases) {
        PASSTHRU_MSG msgs[2] = {passthru_msg(c.protocol, 0, {0x00, 0x00, 0x07, 0xE0, 0x3E}),
                                passthru_msg(c.protocol, c.tx_flags, {})};
        msgs[1].DataSize = c.size;
        const std::string first = "att" + std::to_string(c.protocol) + " 5 " + (c.protocol < CAN ? "0" : "64") +
                                  "\r\n" + data_of(msgs[0]);
        J2534_ULONG n = 2;
        EXPECT_EQ(pt.PassThruWriteMsgs(c.protocol, msgs, &n, 100),
                  c.refusal.empty() ? STATUS_NOERROR : ERR_INVALID_MSG);
        EXPECT_EQ(n, c.refusal.empty() ? 2u : 1u) << c.protocol << " " << c.size;  // the first went out
        const std::string written = wire.take();
        EXPECT_EQ(written.substr(0, first.size()), first);
        EXPECT_EQ(written.size() > first.size(), c.refusal.empty()) << c.protocol << " " << c.size;
        EXPECT_EQ(c.refusal.empty() ? "" : last_error(), c.refusal);
    }
}

TEST_F(MessageEntryPoints, WriteRefusals) {
    open_device();
    PASSTHRU_MSG msg = passthru_msg(CAN, 0, {0x00, 0x00, 0x07, 0xDF, 0x01, 0x00});
    // Each failure counts what went out: nothing.
    J2534_ULONG n = 1;
    EXPECT_EQ(pt.PassThruWriteMsgs(CAN, nullptr, &n, 0), ERR_NULL_PARAMETER);
    EXPECT_EQ(n, 0u);
    EXPECT_EQ(pt.PassThruWriteMsgs(CAN, &msg, nullptr, 0), ERR_NULL_PARAMETER);
    EXPECT_EQ(log.take(), Strings{});
    n = 1;
    EXPECT_EQ(pt.PassThruWriteMsgs(CAN, &msg, &n, 0), ERR_INVALID_CHANNEL_ID);
    EXPECT_EQ(n, 0u);
    EXPECT_EQ(log.take(), Strings{"[j2534] PassThruWriteMsgs ERR ch=5 n=1 first=[tx_flags=0x0 data=[00 00 07 DF 01 "
                                  "00]] invalid channel ID"});
    EXPECT_EQ(last_error(), "invalid channel ID");
    EXPECT_EQ(wire.take(), "");
}

TEST_F(MessageEntryPoints, ReadsASingleFrameIso15765Message) {
    open_device();
    connect(ISO15765, 500000);
    const std::string data = bytes({0x03, 0x41, 0x0D, 0x32, 0xAA, 0xAA, 0xAA, 0xAA});
    ASSERT_EQ(sim.deliver_can(6, 0x7E8, reinterpret_cast<const std::uint8_t*>(data.data()), data.size(), 1000), 0);

    const auto got = read(ISO15765, 1, 100);
    ASSERT_EQ(got.status, STATUS_NOERROR);
    ASSERT_EQ(got.n, 1u);
    expect_header(got.msgs[0], ISO15765, 1000, 12);
    EXPECT_EQ(data_of(got.msgs[0]), bytes({0x00, 0x00, 0x07, 0xE8}) + data);
    EXPECT_EQ(log.take(),
              (Strings{
                  wire_line("RX", data_frame(6, 0x40, 1000, bytes({0x00, 0x00, 0x07, 0xE8}) + data)),
                  "[tactrix] tactrix RX frame: Data(proto=0x36 kind=RxEnd ts_us=1000 len=12 payload=[00 00 07 E8 03 "
                  "41 0D 32 AA AA AA AA])",
                  "[j2534] PassThruReadMsgs OK ch=6 n=1 timeout=100 first=[00 00 07 E8 03 41 0D 32 AA AA AA AA]",
              }));
    EXPECT_EQ(wire.take(), "");
}

TEST_F(MessageEntryPoints, ReadsAMultiFrameIso15765MessageWhole) {
    open_device();
    connect(ISO15765, 500000);
    // Mode 09 PID 02: the VIN, as the cable hands over a reassembled ISO15765 message.
    const std::string vin_answer = bytes({0x49, 0x02, 0x01}) + "WVWZZZ1JZ3W386752";
    ASSERT_EQ(
        sim.deliver_can(6, 0x7E8, reinterpret_cast<const std::uint8_t*>(vin_answer.data()), vin_answer.size(), 2000),
        0);

    const auto got = read(ISO15765, 1, 100);
    ASSERT_EQ(got.status, STATUS_NOERROR);
    ASSERT_EQ(got.n, 1u);
    expect_header(got.msgs[0], ISO15765, 2000, 24);
    EXPECT_EQ(data_of(got.msgs[0]), bytes({0x00, 0x00, 0x07, 0xE8}) + vin_answer);
    const auto lines = log.take();
    const std::string frames = data_frame(6, 0x00, 2000, kEcuId + vin_answer.substr(0, 8)) +
                               data_frame(6, 0x00, 2000, kEcuId + vin_answer.substr(8, 8)) +
                               data_frame(6, 0x40, 2000, kEcuId + vin_answer.substr(16));
    ASSERT_EQ(frames.size(), 59u);
    EXPECT_EQ(lines.front(), wire_line("RX", frames));
    EXPECT_TRUE(lines.front().ends_with(" 61 72 36 0D 40 00 \u2026]")) << lines.front();
    EXPECT_EQ(frame_lines(lines),
              (Strings{
                  "[tactrix] tactrix RX frame: Data(proto=0x36 kind=Normal ts_us=2000 len=12 payload=[00 00 07 E8 49 "
                  "02 01 57 56 57 5A 5A])",
                  "[tactrix] tactrix RX frame: Data(proto=0x36 kind=Normal ts_us=2000 len=12 payload=[00 00 07 E8 5A "
                  "31 4A 5A 33 57 33 38])",
                  "[tactrix] tactrix RX frame: Data(proto=0x36 kind=RxEnd ts_us=2000 len=8 payload=[00 00 07 E8 36 37 "
                  "35 32])",
              }));
    EXPECT_EQ(lines.back(),
              "[j2534] PassThruReadMsgs OK ch=6 n=1 timeout=100 first=[00 00 07 E8 49 02 01 57 56 57 5A 5A 5A 31 4A "
              "5A]");
}

TEST_F(MessageEntryPoints, FramesSplitAcrossUsbReadsAreReassembled) {
    open_device();
    connect(ISO15765, 500000);
    const std::string answer = bytes({0x62, 0xF1, 0x90}) + "WVWZZZ1JZ3W386752";
    ASSERT_EQ(sim.deliver_can(6, 0x7E8, reinterpret_cast<const std::uint8_t*>(answer.data()), answer.size(), 7), 0);
    // Seven bytes per transfer: no frame arrives in one piece.
    sim.set_read_chunk(7);
    const auto got = read(ISO15765, 1, 500);
    ASSERT_EQ(got.status, STATUS_NOERROR);
    ASSERT_EQ(got.n, 1u);
    EXPECT_EQ(data_of(got.msgs[0]), kEcuId + answer);
    const auto lines = log.take();
    EXPECT_EQ(lines.front(), wire_line("RX", data_frame(6, 0x00, 7, kEcuId + answer.substr(0, 8)).substr(0, 7)));
    EXPECT_EQ(frame_lines(lines).size(), 3u);
    EXPECT_EQ(
        std::count_if(lines.begin(), lines.end(),
                      [](const std::string& line) { return line.starts_with("[tactrix] tactrix RX wire: 7 bytes"); }),
        8);
}

TEST_F(MessageEntryPoints, ReadsAKLineMessageWithoutItsFraming) {
    open_device();
    connect(ISO14230, 10400);
    const std::string answer = bytes({0x83, 0xF1, 0x10, 0x41, 0x00, 0xBE, 0x3F, 0xA8, 0x13, 0xB9});
    ASSERT_EQ(sim.deliver_kline(4, reinterpret_cast<const std::uint8_t*>(answer.data()), answer.size()), 0);

    const auto got = read(ISO14230, 1, 100);
    ASSERT_EQ(got.status, STATUS_NOERROR);
    ASSERT_EQ(got.n, 1u);
    expect_header(got.msgs[0], ISO14230, 0, 10);
    EXPECT_EQ(data_of(got.msgs[0]), answer);
    const auto lines = log.take();
    EXPECT_EQ(frame_lines(lines),
              (Strings{
                  "[tactrix] tactrix RX frame: Data(proto=0x34 kind=NormalStart ts_us=0 len=0 payload=[])",
                  "[tactrix] tactrix RX frame: Data(proto=0x34 kind=Normal ts_us=0 len=10 payload=[83 F1 10 41 00 BE "
                  "3F A8 13 B9])",
                  "[tactrix] tactrix RX frame: Data(proto=0x34 kind=RxEnd ts_us=0 len=0 payload=[])",
              }));
    EXPECT_EQ(lines.back(), "[j2534] PassThruReadMsgs OK ch=4 n=1 timeout=100 first=[83 F1 10 41 00 BE 3F A8 13 B9]");
}

TEST_F(MessageEntryPoints, EmptyNonWaitingReadIsBufferEmptyAndLeavesTheLastError) {
    open_device();
    connect(ISO15765, 500000);
    mark_last_error();
    const auto got = read(ISO15765, 10, 0);
    EXPECT_EQ(got.status, ERR_BUFFER_EMPTY);
    EXPECT_EQ(got.n, 0u);
    EXPECT_EQ(log.take(), Strings{"[j2534] PassThruReadMsgs OK ch=6 n=0 timeout=0 first=[]"});
    EXPECT_EQ(last_error(), kMarkedError);
}

TEST_F(MessageEntryPoints, WaitingReadWithNothingArrivingTimesOut) {
    open_device();
    connect(ISO15765, 500000);
    const auto got = read(ISO15765, 10, 50);
    EXPECT_EQ(got.status, ERR_TIMEOUT);
    // Nothing was delivered: a client that walks the count must find none.
    EXPECT_EQ(got.n, 0u);
    EXPECT_EQ(log.take(), Strings{"[j2534] PassThruReadMsgs ERR ch=6 timeout=50 transport error: operation timed out"});
    EXPECT_EQ(last_error(), "transport error: operation timed out");
}

TEST_F(MessageEntryPoints, NonWaitingReadPicksUpWhatTheCableSent) {
    open_device();
    connect(CAN, 500000);
    const std::string data = bytes({0x02, 0x01, 0x0D});
    ASSERT_EQ(sim.deliver_can(5, 0x7E8, reinterpret_cast<const std::uint8_t*>(data.data()), data.size(), 42), 0);
    auto got = read(CAN, 10, 0);
    // Through the system's libusb a non-waiting read gives the cable one millisecond to hand its
    // bytes over, which a loaded machine can miss, as with a real cable; each read returns at once.
    for (int i = 0; sim.usbfs && got.status == ERR_BUFFER_EMPTY && i < 100; ++i) got = read(CAN, 10, 0);
    EXPECT_EQ(got.status, STATUS_NOERROR);
    ASSERT_EQ(got.n, 1u);
    expect_header(got.msgs[0], CAN, 42, 7);
    EXPECT_EQ(data_of(got.msgs[0]), bytes({0x00, 0x00, 0x07, 0xE8}) + data);
    EXPECT_EQ(log.take().back(), "[j2534] PassThruReadMsgs OK ch=5 n=1 timeout=0 first=[00 00 07 E8 02 01 0D]");
    EXPECT_EQ(read(CAN, 10, 0).status, ERR_BUFFER_EMPTY);
}

TEST_F(MessageEntryPoints, TransmitReportsAndCableErrorsAreNoMessages) {
    open_device();
    connect(ISO15765, 500000);
    ASSERT_EQ(write(ISO15765, passthru_msg(ISO15765, 0, {0x00, 0x00, 0x07, 0xDF, 0x09, 0x02})), STATUS_NOERROR);
    const std::string error = "arebuffer overrun\r\n";
    ASSERT_EQ(sim.inject(reinterpret_cast<const std::uint8_t*>(error.data()), error.size()), 0);
    const auto got = read(ISO15765, 10, 0);
    EXPECT_EQ(got.status, ERR_BUFFER_EMPTY);
    auto frames = frame_lines(log.take());
    // Through the system's libusb one non-waiting read may not yet see all the cable sent (see above).
    for (int i = 0; sim.usbfs && frames.size() < 2 && i < 100; ++i) {
        EXPECT_EQ(read(ISO15765, 10, 0).status, ERR_BUFFER_EMPTY);
        for (std::string& line : frame_lines(log.take())) frames.push_back(std::move(line));
    }
    ASSERT_EQ(frames.size(), 2u);
    EXPECT_TRUE(frames[0].starts_with("[tactrix] tactrix RX frame: Data(proto=0x36 kind=TxDone ")) << frames[0];
    EXPECT_EQ(frames[1], "[tactrix] tactrix RX frame: Error(\"buffer overrun\")");
}

TEST_F(MessageEntryPoints, FailedReadsCountNothing) {
    open_device();
    connect(CAN, 500000);
    PASSTHRU_MSG msg{};
    EXPECT_EQ(pt.PassThruReadMsgs(CAN, &msg, nullptr, 0), ERR_NULL_PARAMETER);
    struct Case {
        J2534_ULONG channel;
        PASSTHRU_MSG* msgs;
        J2534_STATUS status;
    };
    const Case cases[] = {
        {CAN, nullptr, ERR_NULL_PARAMETER},
        {ISO15765, &msg, ERR_INVALID_CHANNEL_ID},
        {CAN, &msg, ERR_DEVICE_NOT_CONNECTED},  // after the unplug below
    };
    for (const Case& c : cases) {
        if (c.status == ERR_DEVICE_NOT_CONNECTED) sim.unplug(0);
        J2534_ULONG n = 4;
        EXPECT_EQ(pt.PassThruReadMsgs(c.channel, c.msgs, &n, 0), c.status);
        EXPECT_EQ(n, 0u) << c.status;
    }
    EXPECT_EQ(log.take(), (Strings{"[j2534] PassThruReadMsgs ERR ch=6 timeout=0 invalid channel ID",
                                   std::string("[j2534] PassThruReadMsgs ERR ch=5 timeout=0 ") + kNoDevice}));
}

TEST_F(MessageEntryPoints, PeriodicMessagesAreNotSupported) {
    open_device();
    connect(ISO15765, 500000);
    PASSTHRU_MSG msg = passthru_msg(ISO15765, 0, {0x00, 0x00, 0x07, 0xDF, 0x3E, 0x80});
    J2534_ULONG id = 77;
    EXPECT_EQ(pt.PassThruStartPeriodicMsg(ISO15765, &msg, nullptr, 2000), ERR_NULL_PARAMETER);
    EXPECT_EQ(pt.PassThruStartPeriodicMsg(ISO15765, &msg, &id, 2000), ERR_NOT_SUPPORTED);
    EXPECT_EQ(id, 77u);
    EXPECT_EQ(last_error(), "operation not supported");
    mark_last_error();
    EXPECT_EQ(pt.PassThruStopPeriodicMsg(ISO15765, 1), ERR_NOT_SUPPORTED);
    EXPECT_EQ(last_error(), "operation not supported");
    EXPECT_EQ(wire.take(), "");
    EXPECT_EQ(log.take(), Strings{});
}

TEST_F(MessageEntryPoints, UnpluggedCableIsNotConnected) {
    open_device();
    connect(ISO15765, 500000);
    sim.unplug(0);
    EXPECT_EQ(read(ISO15765, 10, 0).status, ERR_DEVICE_NOT_CONNECTED);
    EXPECT_EQ(last_error(), kNoDevice);
    EXPECT_EQ(log.take(), Strings{std::string("[j2534] PassThruReadMsgs ERR ch=6 timeout=0 ") + kNoDevice});
    EXPECT_EQ(read(ISO15765, 10, 100).status, ERR_DEVICE_NOT_CONNECTED);
    log.skip();

    const std::string att = "att6 6 64\r\n" + bytes({0x00, 0x00, 0x07, 0xDF, 0x09, 0x02});
    EXPECT_EQ(write(ISO15765, passthru_msg(ISO15765, 0, {0x00, 0x00, 0x07, 0xDF, 0x09, 0x02})),
              ERR_DEVICE_NOT_CONNECTED);
    EXPECT_EQ(log.take(), (Strings{wire_line("TX", att),
                                   std::string("[j2534] PassThruWriteMsgs ERR ch=6 n=1 first=[tx_flags=0x0 data=[00 00 "
                                               "07 DF 09 02]] ") +
                                       kNoDevice}));
    EXPECT_EQ(wire.take(), "");
}

TEST_F(MessageEntryPoints, RxStatusSaysWhatAFrameIs) {
    open_device();
    struct Case {
        std::uint32_t protocol, flags, can_id, rx_status;
    } const cases[] = {
        {CAN, 0, 0x7E8, 0},
        {CAN, 0, 0x18DAF110, CAN_29BIT_ID},
        {CAN, CAN_29BIT_ID, 0x7E8, CAN_29BIT_ID},
        {CAN, CAN_29BIT_ID | CAN_ID_BOTH, 0x7E8, 0},
        {CAN, CAN_29BIT_ID | CAN_ID_BOTH, 0x18DAF110, CAN_29BIT_ID},
        {ISO15765, 0, 0x18DAF110, CAN_29BIT_ID},
    };
    const std::string data = bytes({0x02, 0x01, 0x0D});
    for (const Case& c : cases) {
        connect(c.protocol, 500000, c.flags);
        ASSERT_EQ(sim.deliver_can(static_cast<std::uint8_t>(c.protocol), c.can_id,
                                  reinterpret_cast<const std::uint8_t*>(data.data()), data.size(), 42),
                  0);
        const auto got = read(c.protocol, 1, 1000);
        ASSERT_EQ(got.status, STATUS_NOERROR) << last_error();
        EXPECT_EQ(got.msgs[0].RxStatus, c.rx_status) << c.protocol << " " << c.flags << " " << c.can_id;
    }

    // With LOOPBACK on, what was sent comes back marked TX_MSG_TYPE; off, it does not.
    SCONFIG loopback{LOOPBACK, 1};
    SCONFIG_LIST list{1, &loopback};
    const PASSTHRU_MSG sent = passthru_msg(CAN, 0, {0x18, 0xDB, 0x33, 0xF1, 0x02, 0x01, 0x0D});
    for (std::uint32_t on : {1u, 0u}) {
        loopback.Value = on;
        ASSERT_EQ(pt.PassThruIoctl(CAN, SET_CONFIG, &list, nullptr), STATUS_NOERROR);
        log.skip();
        ASSERT_EQ(write(CAN, sent), STATUS_NOERROR);
        const auto got = read(CAN, 1, 300);
        const Strings frames = frame_lines(log.take());
        ASSERT_EQ(frames.size(), on + 1);  // the transmit report, and the loopback when on
        EXPECT_EQ(got.status, on ? STATUS_NOERROR : ERR_TIMEOUT);
        if (on == 0 || got.status != STATUS_NOERROR) continue;
        EXPECT_TRUE(frames[1].starts_with("[tactrix] tactrix RX frame: Data(proto=0x35 kind=LoopbackEnd")) << frames[1];
        EXPECT_EQ(got.msgs[0].RxStatus, TX_MSG_TYPE | CAN_29BIT_ID);
        EXPECT_EQ(data_of(got.msgs[0]), data_of(sent));
    }
}

// Whatever the cable sends, every read returns about when its time-out says, and garbage costs
// one desync line per run of bytes, not one per byte.
TEST_F(MessageEntryPoints, GarbageIsDrainedAndEveryReadKeepsItsDeadline) {
    open_device();
    connect(CAN, 500000);
    const std::string garbage = "ari" + std::string(256 * 1024, 'x');
    ASSERT_EQ(sim.inject(reinterpret_cast<const std::uint8_t*>(garbage.data()), garbage.size()), 0);
    const std::string data = bytes({0x02, 0x01, 0x0D});
    ASSERT_EQ(sim.deliver_can(5, 0x7E8, reinterpret_cast<const std::uint8_t*>(data.data()), data.size(), 42), 0);
    ReadResult got;
    got.status = ERR_TIMEOUT;
    int reads = 0;
    while (got.status != STATUS_NOERROR && reads++ < 5000) {
        const auto start = std::chrono::steady_clock::now();
        got = read(CAN, 1, 20);
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(20 + 1000));
    }
    ASSERT_EQ(got.status, STATUS_NOERROR);
    EXPECT_EQ(data_of(got.msgs[0]), kEcuId + data);
    Strings desyncs;
    for (const auto& line : log.take()) {
        if (line.find("parser desync") != std::string::npos) desyncs.push_back(line);
    }
    ASSERT_FALSE(desyncs.empty());
    EXPECT_EQ(desyncs[0], "[tactrix] tactrix parser desync: LineTooLong, dropping 1 byte");
    EXPECT_LE(desyncs.size(), static_cast<std::size_t>(reads) + 1);
}

}  // namespace
}  // namespace vexo::e2e
