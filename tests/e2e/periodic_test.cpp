// Messages the library sends by itself, every interval, while the application does other work.
#include <algorithm>
#include <chrono>
#include <functional>
#include <thread>
#ifdef __linux__
#include <filesystem>
#endif

#include "passthru_fixture.h"

namespace vexo::e2e {
namespace {

using namespace std::chrono_literals;
using Strings = std::vector<std::string>;

const PASSTHRU_MSG kTesterPresent = passthru_msg(ISO15765, 0, {0x00, 0x00, 0x07, 0xE0, 0x3E, 0x80});
const std::string kTesterPresentAtt = "att6 6 64\r\n" + data_of(kTesterPresent);
const std::string kNoDevice = "transport error: I/O error: No such device (it may have been disconnected)";

// Polls until `done` holds, for longer than any run needs.
template <class Done>
bool eventually(Done done) {
    const auto end = std::chrono::steady_clock::now() + 20s;
    while (!done() && std::chrono::steady_clock::now() < end) std::this_thread::sleep_for(2ms);
    return done();
}

std::string periodic_line(int id, const std::string& att) {
    std::string line = wire_line("TX", att);
    return line.insert(line.find(':'), " (periodic " + std::to_string(id) + ")");
}

std::size_t threads() {
#ifdef __linux__
    return static_cast<std::size_t>(std::distance(std::filesystem::directory_iterator("/proc/self/task"), {}));
#else
    return 0;
#endif
}

class PeriodicMessages : public PassThruTest {
protected:
    J2534_ULONG start(std::uint32_t channel, PASSTHRU_MSG msg, std::uint32_t interval_ms) {
        J2534_ULONG id = 0;
        EXPECT_EQ(pt.PassThruStartPeriodicMsg(channel, &msg, &id, interval_ms), STATUS_NOERROR) << last_error();
        return id;
    }
    // ISO15765 with 7E8 paired to 7E0, the demo car behind the cable when asked for.
    J2534_ULONG paired_iso15765(bool demo) {
        EXPECT_EQ(demo ? sim.set_vehicle("demo") : 0, 0);
        open_device();
        connect(ISO15765, 500000);
        return flow_filter();
    }
    J2534_ULONG flow_filter() {
        PASSTHRU_MSG mask = passthru_msg(ISO15765, 0, {0xFF, 0xFF, 0xFF, 0xFF});
        PASSTHRU_MSG pattern = passthru_msg(ISO15765, 0, {0x00, 0x00, 0x07, 0xE8});
        PASSTHRU_MSG flow = passthru_msg(ISO15765, 0, {0x00, 0x00, 0x07, 0xE0});
        J2534_ULONG id = 0;
        EXPECT_EQ(pt.PassThruStartMsgFilter(ISO15765, FLOW_CONTROL_FILTER, &mask, &pattern, &flow, &id),
                  STATUS_NOERROR);
        return id;
    }
    // The answer to a request to 7E0, without the CAN ID, or the failure's text.
    std::string ask(const std::string& request) {
        PASSTHRU_MSG sent = passthru_msg(ISO15765, 0, {0x00, 0x00, 0x07, 0xE0});
        for (const char byte : request) sent.Data[sent.DataSize++] = static_cast<std::uint8_t>(byte);
        EXPECT_EQ(write(ISO15765, sent, 1000), STATUS_NOERROR);
        const auto got = read(ISO15765, 1, 2000);
        return got.status == STATUS_NOERROR ? data_of(got.msgs[0]).substr(4) : last_error();
    }
    // Commands the cable took, with their arrival in microseconds.
    std::vector<std::pair<std::string, std::uint64_t>> timed_commands() const {
        const Strings commands = cable_commands();
        std::vector<std::uint64_t> times(commands.size());
        sim.command_times(times.data(), times.size());
        std::vector<std::pair<std::string, std::uint64_t>> out;
        for (std::size_t i = 0; i < commands.size(); ++i) out.emplace_back(commands[i], times[i]);
        return out;
    }
    // Waits for the line in the log, after the one awaited before; `lines` keeps what was taken.
    bool logged(const std::string& line) {
        return eventually([&] {
            for (std::string& taken : log.take()) lines.push_back(std::move(taken));
            const auto at = std::find(lines.begin() + static_cast<std::ptrdiff_t>(from), lines.end(), line);
            if (at != lines.end()) from = static_cast<std::size_t>(at - lines.begin());
            return at != lines.end();
        });
    }
    Strings lines;
    std::size_t from = 0;
};

TEST_F(PeriodicMessages, RefusalsLimitsAndIds) {
    open_device();
    connect(ISO15765, 500000);
    PASSTHRU_MSG msg = kTesterPresent;
    J2534_ULONG id = 77;
    EXPECT_EQ(pt.PassThruStartPeriodicMsg(ISO15765, nullptr, &id, 100), ERR_NULL_PARAMETER);
    EXPECT_EQ(pt.PassThruStartPeriodicMsg(ISO15765, &msg, nullptr, 100), ERR_NULL_PARAMETER);
    struct Case {
        std::uint32_t channel, tx_flags, size, interval;
        J2534_STATUS status;
        std::string text;
    } const cases[] = {
        {CAN, 0, 6, 100, ERR_INVALID_CHANNEL_ID, "invalid channel ID"},
        {ISO15765, 0, 6, 4, ERR_INVALID_TIME_INTERVAL, "time interval 4 ms: periodic messages take 5 to 65535 ms"},
        {ISO15765, 0, 6, 65536, ERR_INVALID_TIME_INTERVAL,
         "time interval 65536 ms: periodic messages take 5 to 65535 ms"},
        {ISO15765, 0, 12, 100, ERR_INVALID_MSG, "ISO15765 periodic message of 12 bytes: one frame holds 5 to 11 bytes"},
        {ISO15765, ISO15765_ADDR_TYPE, 12, 100, ERR_INVALID_MSG,
         "ISO15765 periodic message of 12 bytes: one frame holds 6 to 11 bytes"},
        {ISO15765, 0, 4, 100, ERR_INVALID_MSG,
         "ISO15765 message of 4 bytes: it needs a 4-byte ID and 1 to 4095 data bytes"},
    };
    for (const Case& c : cases) {
        msg.TxFlags = c.tx_flags;
        msg.DataSize = c.size;
        EXPECT_EQ(pt.PassThruStartPeriodicMsg(c.channel, &msg, &id, c.interval), c.status) << c.text;
        EXPECT_EQ(last_error(), c.text);
    }
    EXPECT_EQ(id, 77u);
    const Strings refused = log.take();
    ASSERT_EQ(refused.size(), std::size(cases));
    EXPECT_EQ(refused[0],
              "[j2534] PassThruStartPeriodicMsg ERR ch=5 interval=100 msg=[tx_flags=0x0 data=[00 00 07 E0 "
              "3E 80]] invalid channel ID");

    // Ten a channel, numbered from 1, each sent once at once; nothing of a refused one is.
    msg = kTesterPresent;
    for (J2534_ULONG n = 1; n <= 11; ++n) {
        EXPECT_EQ(pt.PassThruStartPeriodicMsg(ISO15765, &msg, &id, 65535),
                  n <= 10 ? STATUS_NOERROR : ERR_EXCEEDED_LIMIT);
        EXPECT_EQ(id, std::min<J2534_ULONG>(n, 10));
    }
    EXPECT_EQ(last_error(), "channel 6 already sends 10 periodic messages");
    std::string ten;
    for (int i = 0; i < 10; ++i) ten += kTesterPresentAtt;
    EXPECT_EQ(wire.take(), ten);
    log.skip();
    EXPECT_EQ(pt.PassThruStopPeriodicMsg(ISO15765, 3), STATUS_NOERROR);
    EXPECT_EQ(pt.PassThruStopPeriodicMsg(ISO15765, 3), ERR_INVALID_MSG_ID);
    EXPECT_EQ(last_error(), "invalid message ID 3");
    EXPECT_EQ(pt.PassThruStopPeriodicMsg(CAN, 4), ERR_INVALID_CHANNEL_ID);
    EXPECT_EQ(start(ISO15765, msg, 65535), 11u);
    EXPECT_EQ(log.take(),
              (Strings{"[j2534] PassThruStopPeriodicMsg OK ch=6 id=3",
                       "[j2534] PassThruStopPeriodicMsg ERR ch=6 id=3 invalid message ID 3",
                       "[j2534] PassThruStopPeriodicMsg ERR ch=5 id=4 invalid channel ID",
                       periodic_line(11, kTesterPresentAtt),
                       "[j2534] PassThruStartPeriodicMsg OK ch=6 interval=65535 msg=[tx_flags=0x0 data=[00 00 "
                       "07 E0 3E 80]] id=11"}));
}

// The sender never waits for the device lock: its commands go out whole while a read holds it,
// each in its turn, never before it is due.
TEST_F(PeriodicMessages, GoOutAtOnceThenEveryIntervalWhileAReadWaits) {
    open_device();
    connect(ISO15765, 500000);
    EXPECT_EQ(start(ISO15765, kTesterPresent, 200), 1u);
    EXPECT_EQ(wire.take(), kTesterPresentAtt);
    EXPECT_EQ(log.take(),
              (Strings{periodic_line(1, kTesterPresentAtt), "[tactrix] periodic sender started",
                       "[j2534] PassThruStartPeriodicMsg OK ch=6 interval=200 msg=[tx_flags=0x0 data=[00 00 "
                       "07 E0 3E 80]] id=1"}));
    EXPECT_EQ(read(ISO15765, 1, 1000).status, ERR_TIMEOUT);
    EXPECT_EQ(pt.PassThruStopPeriodicMsg(ISO15765, 1), STATUS_NOERROR);
    std::vector<std::uint64_t> sent;
    for (const auto& [line, us] : timed_commands()) {
        if (line == "att6 6 64") sent.push_back(us);
    }
    ASSERT_GE(sent.size(), 3u);
    for (std::size_t k = 1; k < sent.size(); ++k) EXPECT_GE(sent[k] - sent[0] + 100'000, k * 200'000) << k;
    std::string repeated;
    for (std::size_t k = 1; k < sent.size(); ++k) repeated += kTesterPresentAtt;
    EXPECT_EQ(wire.take(), repeated);
    const Strings taken = log.take();
    EXPECT_EQ(std::count(taken.begin(), taken.end(), periodic_line(1, kTesterPresentAtt)),
              static_cast<std::ptrdiff_t>(sent.size() - 1));
    EXPECT_EQ(std::count(taken.begin(), taken.end(),
                         "[j2534] PassThruReadMsgs ERR ch=6 timeout=1000 transport error: operation timed out"),
              1);
    EXPECT_EQ(Strings(taken.end() - 2, taken.end()),
              (Strings{"[tactrix] periodic sender stopped", "[j2534] PassThruStopPeriodicMsg OK ch=6 id=1"}));
}

TEST_F(PeriodicMessages, EveryRouteStopsThemAndLeavesNoThread) {
    J2534_ULONG channel = 0;
    const struct Case {
        std::function<J2534_STATUS(J2534_ULONG id)> route;
        bool device_wide;
        J2534_STATUS stop_after;
        std::string error;  // empty: the message ID is unknown
    } cases[] = {
        {[&](J2534_ULONG id) { return pt.PassThruStopPeriodicMsg(ISO15765, id); }, false, ERR_INVALID_MSG_ID, ""},
        {[&](J2534_ULONG) { return pt.PassThruIoctl(ISO15765, CLEAR_PERIODIC_MSGS, nullptr, nullptr); }, false,
         ERR_INVALID_MSG_ID, ""},
        {[&](J2534_ULONG) { return pt.PassThruDisconnect(ISO15765); }, false, ERR_INVALID_CHANNEL_ID,
         "invalid channel ID"},
        {[&](J2534_ULONG) { return pt.PassThruConnect(1, ISO15765, 0, 500000, &channel); }, false, ERR_INVALID_MSG_ID,
         ""},
        {[&](J2534_ULONG) { return pt.PassThruClose(1); }, true, ERR_DEVICE_NOT_CONNECTED, "device not connected"},
        {[&](J2534_ULONG) {
             sim.unplug(0);
             return logged("[tactrix] periodic messages stopped, the cable is gone: " + kNoDevice) ? STATUS_NOERROR
                                                                                                   : ERR_FAILED;
         },
         true, ERR_DEVICE_NOT_CONNECTED, kNoDevice},
    };
    const PASSTHRU_MSG can = passthru_msg(CAN, 0, {0x00, 0x00, 0x07, 0xDF, 0x02, 0x3E, 0x80});
    const std::string can_att = "att5 7 64\r\n" + data_of(can);
    std::size_t idle_threads = 0;
    for (const Case& c : cases) {
        const auto route = &c - cases;
        open_device();
        connect(ISO15765, 500000);
        connect(CAN, 500000);
        if (idle_threads == 0) {  // once a sender came and went: ThreadSanitizer starts a thread with the first
            EXPECT_EQ(pt.PassThruStopPeriodicMsg(ISO15765, start(ISO15765, kTesterPresent, 65535)), STATUS_NOERROR);
            idle_threads = threads();
            log.skip();
        }
        const J2534_ULONG id = start(ISO15765, kTesterPresent, 5);
        start(CAN, can, 5);
        EXPECT_EQ(c.route(id), STATUS_NOERROR) << route;
        // Two sends of the other channel's message: time enough for this one's to show.
        wire.skip();
        std::string after;
        if (c.device_wide) std::this_thread::sleep_for(50ms);
        EXPECT_TRUE(c.device_wide || eventually([&] {
                        after += wire.take();
                        return after.find(can_att, after.find(can_att) + 1) != std::string::npos;
                    }));
        after += wire.take();
        EXPECT_EQ(after.find(c.device_wide ? "att" : "att6"), std::string::npos) << route;
        EXPECT_EQ(pt.PassThruStopPeriodicMsg(ISO15765, id), c.stop_after) << route;
        EXPECT_EQ(last_error(), c.error.empty() ? "invalid message ID " + std::to_string(id) : c.error);
        EXPECT_EQ(pt.PassThruIoctl(CAN, CLEAR_PERIODIC_MSGS, nullptr, nullptr), STATUS_NOERROR);
        EXPECT_EQ(pt.PassThruClose(1), c.device_wide && route == 4 ? ERR_DEVICE_NOT_CONNECTED : STATUS_NOERROR);
        EXPECT_TRUE(eventually([&] { return threads() == idle_threads; })) << threads() << " " << idle_threads;
        const Strings taken = log.take();
        EXPECT_EQ(std::count(taken.begin(), taken.end(), "[tactrix] periodic sender stopped"), 1) << route;
    }
}

// Paused from the channel's "atc6" until it is back, also through the 2 s a silent cable takes.
TEST_F(PeriodicMessages, PauseWhileTheirChannelIsReopenedAndGoOnAfter) {
    paired_iso15765(false);
    start(ISO15765, kTesterPresent, 5);
    for (const bool silent : {false, true}) {
        const J2534_ULONG filter = silent ? flow_filter() : 0;
        ASSERT_EQ(silent ? sim.silence('c', 1) : 0, 0);
        EXPECT_EQ(silent ? pt.PassThruStopMsgFilter(ISO15765, filter)
                         : pt.PassThruIoctl(ISO15765, CLEAR_MSG_FILTERS, nullptr, nullptr),
                  silent ? ERR_TIMEOUT : STATUS_NOERROR);
        std::vector<std::pair<std::string, std::uint64_t>> commands;
        std::size_t closed = 0;
        EXPECT_TRUE(eventually([&] {
            commands = timed_commands();
            for (std::size_t i = 0; i < commands.size(); ++i) closed = commands[i].first == "atc6" ? i : closed;
            return std::count_if(commands.begin() + static_cast<std::ptrdiff_t>(closed), commands.end(),
                                 [](const auto& c) { return c.first == "att6 6 64"; }) >= 2;
        }));
        bool back = false;
        for (std::size_t i = closed; i < commands.size(); ++i) {
            back = back || commands[i].first.starts_with("ato6");
            const bool paused = !back && (!silent || commands[i].second < commands[closed].second + 1'500'000);
            EXPECT_FALSE(paused && commands[i].first == "att6 6 64") << silent << " " << i;
        }
    }
}

TEST_F(PeriodicMessages, ALongRequestSurvivesATesterPresentEveryFiveMilliseconds) {
    paired_iso15765(true);
    start(ISO15765, kTesterPresent, 5);
    // The VIN twenty times over: six frames on the bus, longer than the interval.
    std::string request = "\x22", answer = "\x62";
    for (int i = 0; i < 20; ++i) {
        request += "\xF1\x90";
        answer +=
            "\xF1\x90"
            "1VXDM5SM8N0004217";
    }
    for (int round = 0; round < 5; ++round) EXPECT_EQ(ask(request), answer) << round;
}

// The ECU leaves its extended session 5 s after the last request (S3) unless tester present keeps it.
TEST_F(PeriodicMessages, KeepTheEcuInItsSessionWhileTheApplicationOnlyReads) {
    // 18 seconds of the ECU's session timer, the same whatever the record layout.
#ifdef VEXO_J2534_FIXED32
    GTEST_SKIP() << "the suite of the platform's layout runs it";
#endif
    paired_iso15765(true);
    const auto only_read = [&](std::chrono::seconds span) {
        for (const auto end = std::chrono::steady_clock::now() + span; std::chrono::steady_clock::now() < end;)
            EXPECT_EQ(read(ISO15765, 10, 1000).status, ERR_TIMEOUT);
    };
    EXPECT_EQ(ask("\x10\x03"), bytes({0x50, 0x03, 0x00, 0x32, 0x01, 0xF4}));
    const J2534_ULONG id = start(ISO15765, kTesterPresent, 2000);
    only_read(12s);
    EXPECT_EQ(ask("\x22\xF1\x86"), bytes({0x62, 0xF1, 0x86, 0x03}));
    EXPECT_EQ(pt.PassThruStopPeriodicMsg(ISO15765, id), STATUS_NOERROR);
    only_read(6s);
    EXPECT_EQ(ask("\x22\xF1\x86"), bytes({0x62, 0xF1, 0x86, 0x01}));
}

// A write that times out is tried at the next due time; one cut short keeps every later one back
// until the application's next call finishes it, which a read does too.
TEST_F(PeriodicMessages, AFailedWriteIsTriedAgainAndACutOneWaitsForTheApplication) {
    if (sim.usbfs) GTEST_SKIP() << "the usbfs model fails no transfer on request";
    open_device();
    connect(CAN, 500000);
    const PASSTHRU_MSG msg = passthru_msg(CAN, 0, {0x00, 0x00, 0x07, 0xDF, 0x02, 0x3E, 0x80});
    const std::string att = "att5 7 64\r\n" + data_of(msg), sent = periodic_line(1, att);
    start(CAN, msg, 20);
    const std::string not_sent =
        "[tactrix] periodic message 1 on channel 5 not sent, next try in 20 ms: transport error: ";
    sim.fail_next_transfer(-7, 0);  // LIBUSB_ERROR_TIMEOUT
    EXPECT_TRUE(logged(not_sent + "operation timed out"));
    sim.fail_next_transfer(-9, 4);  // LIBUSB_ERROR_PIPE after "att5"
    EXPECT_TRUE(logged(not_sent + "I/O error: Pipe error"));
    const auto cut = static_cast<std::ptrdiff_t>(from);
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(read(CAN, 1, 0).status, ERR_BUFFER_EMPTY);
    EXPECT_TRUE(logged("[tactrix] finishing a command cut short: 14 bytes left"));
    EXPECT_EQ(std::count(lines.begin() + cut, lines.begin() + static_cast<std::ptrdiff_t>(from), sent), 0);
    EXPECT_TRUE(logged(sent));
    std::string whole;
    const std::string written = wire.take();
    while (whole.size() < written.size()) whole += att;
    EXPECT_EQ(written, whole);
}

}  // namespace
}  // namespace vexo::e2e
