// Messages the library sends by itself, every interval, while the application does other work.
#include <algorithm>
#include <chrono>
#include <thread>
#ifdef __linux__
#include <filesystem>
#endif

#include "passthru_fixture.h"

namespace vexo::e2e {
namespace {

using namespace std::chrono_literals;
using Strings = std::vector<std::string>;
using PeriodicMessages = PassThruTest;

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
    EXPECT_EQ(pt.PassThruStartPeriodicMsg(ISO15765, &msg, &id, 65535), STATUS_NOERROR);
    EXPECT_EQ(id, 11u);
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
    PASSTHRU_MSG msg = kTesterPresent;
    J2534_ULONG id = 0;
    ASSERT_EQ(pt.PassThruStartPeriodicMsg(ISO15765, &msg, &id, 200), STATUS_NOERROR);
    EXPECT_EQ(wire.take(), kTesterPresentAtt);
    EXPECT_EQ(log.take(),
              (Strings{periodic_line(1, kTesterPresentAtt), "[tactrix] periodic sender started",
                       "[j2534] PassThruStartPeriodicMsg OK ch=6 interval=200 msg=[tx_flags=0x0 data=[00 00 "
                       "07 E0 3E 80]] id=1"}));
    EXPECT_EQ(read(ISO15765, 1, 1000).status, ERR_TIMEOUT);

    const Strings commands = cable_commands();
    std::vector<std::uint64_t> times(commands.size());
    ASSERT_EQ(sim.command_times(times.data(), times.size()), times.size());
    std::vector<std::uint64_t> sent;
    for (std::size_t i = 0; i < commands.size(); ++i) {
        if (commands[i] == "att6 6 64") sent.push_back(times[i]);
    }
    ASSERT_GE(sent.size(), 3u);
    for (std::size_t k = 1; k < sent.size(); ++k) EXPECT_GE(sent[k] - sent[0] + 100'000, k * 200'000) << k;
    std::string repeated;
    for (std::size_t k = 1; k < sent.size(); ++k) repeated += kTesterPresentAtt;
    EXPECT_EQ(wire.take(), repeated);
    const Strings lines = log.take();
    EXPECT_EQ(static_cast<std::size_t>(std::count(lines.begin(), lines.end(), periodic_line(1, kTesterPresentAtt))),
              sent.size() - 1);
    EXPECT_EQ(lines.back(), "[j2534] PassThruReadMsgs ERR ch=6 timeout=1000 transport error: operation timed out");
}

TEST_F(PeriodicMessages, EveryRouteStopsThemAndLeavesNoThread) {
    enum class Route { Stop, Clear, Disconnect, Reconnect, Close, Unplug };
    struct Case {
        Route route;
        J2534_STATUS stop_after;
        std::string error;  // empty: the message ID is unknown
        bool can_goes_on;
    } const cases[] = {
        {Route::Stop, ERR_INVALID_MSG_ID, "", true},
        {Route::Clear, ERR_INVALID_MSG_ID, "", true},
        {Route::Disconnect, ERR_INVALID_CHANNEL_ID, "invalid channel ID", true},
        {Route::Reconnect, ERR_INVALID_MSG_ID, "", true},
        {Route::Close, ERR_DEVICE_NOT_CONNECTED, "device not connected", false},
        {Route::Unplug, ERR_DEVICE_NOT_CONNECTED, kNoDevice, false},
    };
    bool open = false;
    std::size_t idle_threads = 0;
    for (const Case& c : cases) {
        if (!open) open_device();
        open = true;
        connect(ISO15765, 500000);
        connect(CAN, 500000);
        if (idle_threads == 0) idle_threads = threads();
        PASSTHRU_MSG iso = kTesterPresent, can = passthru_msg(CAN, 0, {0x00, 0x00, 0x07, 0xDF, 0x02, 0x3E, 0x80});
        J2534_ULONG iso_id = 0, can_id = 0;
        ASSERT_EQ(pt.PassThruStartPeriodicMsg(ISO15765, &iso, &iso_id, 5), STATUS_NOERROR);
        ASSERT_EQ(pt.PassThruStartPeriodicMsg(CAN, &can, &can_id, 5), STATUS_NOERROR);
        switch (c.route) {
            case Route::Stop: EXPECT_EQ(pt.PassThruStopPeriodicMsg(ISO15765, iso_id), STATUS_NOERROR); break;
            case Route::Clear:
                EXPECT_EQ(pt.PassThruIoctl(ISO15765, CLEAR_PERIODIC_MSGS, nullptr, nullptr), STATUS_NOERROR);
                break;
            case Route::Disconnect: EXPECT_EQ(pt.PassThruDisconnect(ISO15765), STATUS_NOERROR); break;
            case Route::Reconnect: connect(ISO15765, 500000); break;
            case Route::Close:
                EXPECT_EQ(pt.PassThruClose(1), STATUS_NOERROR);
                open = false;
                break;
            case Route::Unplug:
                sim.unplug(0);
                EXPECT_TRUE(eventually([&] {
                    const Strings all = log.all();
                    return std::count(all.begin(), all.end(),
                                      "[tactrix] periodic messages stopped, the cable is gone: " + kNoDevice) == 1;
                }));
                break;
        }
        wire.skip();
        std::string after;
        // Two sends of the other channel's message: time enough for this one's to show.
        const std::string can_att = "att5 7 64\r\n" + data_of(can);
        if (c.can_goes_on) {
            EXPECT_TRUE(eventually([&] {
                after += wire.take();
                return after.find(can_att, after.find(can_att) + 1) != std::string::npos;
            }));
        } else {
            std::this_thread::sleep_for(50ms);
            EXPECT_EQ(wire.take(), "");
        }
        EXPECT_EQ(after.find("att6"), std::string::npos) << static_cast<int>(c.route);
        EXPECT_EQ(pt.PassThruStopPeriodicMsg(ISO15765, iso_id), c.stop_after);
        EXPECT_EQ(last_error(), c.error.empty() ? "invalid message ID " + std::to_string(iso_id) : c.error);
        const J2534_STATUS cleared =
            open ? pt.PassThruIoctl(CAN, CLEAR_PERIODIC_MSGS, nullptr, nullptr) : STATUS_NOERROR;
        EXPECT_EQ(cleared, STATUS_NOERROR);
        EXPECT_EQ(c.route == Route::Unplug ? pt.PassThruClose(1) : STATUS_NOERROR, STATUS_NOERROR);
        EXPECT_TRUE(eventually([&] { return threads() == idle_threads; })) << threads() << " " << idle_threads;
        const Strings lines = log.take();
        EXPECT_EQ(std::count(lines.begin(), lines.end(), "[tactrix] periodic sender stopped"), 1);
    }
}

// Paused from the channel's "atc6" until it is back: also through the 2 s a silent cable takes.
TEST_F(PeriodicMessages, PauseWhileTheirChannelIsReopenedAndGoOnAfter) {
    open_device();
    connect(ISO15765, 500000);
    PASSTHRU_MSG mask = passthru_msg(ISO15765, 0, {0xFF, 0xFF, 0xFF, 0xFF});
    PASSTHRU_MSG pattern = passthru_msg(ISO15765, 0, {0x00, 0x00, 0x07, 0xE8});
    PASSTHRU_MSG flow = passthru_msg(ISO15765, 0, {0x00, 0x00, 0x07, 0xE0}), msg = kTesterPresent;
    J2534_ULONG filter = 0, id = 0;
    ASSERT_EQ(pt.PassThruStartPeriodicMsg(ISO15765, &msg, &id, 5), STATUS_NOERROR);
    for (const bool silent : {false, true}) {
        ASSERT_EQ(pt.PassThruStartMsgFilter(ISO15765, FLOW_CONTROL_FILTER, &mask, &pattern, &flow, &filter),
                  STATUS_NOERROR);
        ASSERT_EQ(silent ? sim.silence('c', 1) : 0, 0);
        EXPECT_EQ(silent ? pt.PassThruStopMsgFilter(ISO15765, filter)
                         : pt.PassThruIoctl(ISO15765, CLEAR_MSG_FILTERS, nullptr, nullptr),
                  silent ? ERR_TIMEOUT : STATUS_NOERROR);
        Strings commands;
        std::vector<std::uint64_t> times;
        std::size_t closed = 0;
        EXPECT_TRUE(eventually([&] {
            commands = cable_commands();
            times.resize(commands.size());
            sim.command_times(times.data(), times.size());
            closed = static_cast<std::size_t>(std::find(commands.rbegin(), commands.rend(), "atc6").base() -
                                              commands.begin());
            return std::count(commands.begin() + static_cast<std::ptrdiff_t>(closed), commands.end(), "att6 6 64") >= 2;
        }));
        const auto back = std::find_if(commands.begin() + static_cast<std::ptrdiff_t>(closed), commands.end(),
                                       [](const std::string& line) { return line.starts_with("ato6"); });
        for (std::size_t i = closed; i < commands.size(); ++i) {
            const bool paused = commands.begin() + static_cast<std::ptrdiff_t>(i) < back &&
                                (!silent || times[i] < times[closed - 1] + 1'500'000);
            EXPECT_FALSE(paused && commands[i] == "att6 6 64") << silent << " " << i;
        }
    }
}

TEST_F(PeriodicMessages, ALongRequestSurvivesATesterPresentEveryFiveMilliseconds) {
    ASSERT_EQ(sim.set_vehicle("demo"), 0);
    open_device();
    connect(ISO15765, 500000);
    PASSTHRU_MSG mask = passthru_msg(ISO15765, 0, {0xFF, 0xFF, 0xFF, 0xFF});
    PASSTHRU_MSG pattern = passthru_msg(ISO15765, 0, {0x00, 0x00, 0x07, 0xE8});
    PASSTHRU_MSG flow = passthru_msg(ISO15765, 0, {0x00, 0x00, 0x07, 0xE0}), msg = kTesterPresent;
    J2534_ULONG filter = 0, id = 0;
    ASSERT_EQ(pt.PassThruStartMsgFilter(ISO15765, FLOW_CONTROL_FILTER, &mask, &pattern, &flow, &filter),
              STATUS_NOERROR);
    ASSERT_EQ(pt.PassThruStartPeriodicMsg(ISO15765, &msg, &id, 5), STATUS_NOERROR);
    // The VIN twenty times over: six frames on the bus, longer than the interval.
    PASSTHRU_MSG request = passthru_msg(ISO15765, 0, {0x00, 0x00, 0x07, 0xE0, 0x22});
    std::string answer = bytes({0x00, 0x00, 0x07, 0xE8, 0x62});
    for (int i = 0; i < 20; ++i) {
        request.Data[request.DataSize++] = 0xF1;
        request.Data[request.DataSize++] = 0x90;
        answer += bytes({0xF1, 0x90}) + "1VXDM5SM8N0004217";
    }
    for (int round = 0; round < 5; ++round) {
        ASSERT_EQ(write(ISO15765, request, 1000), STATUS_NOERROR);
        const auto got = read(ISO15765, 1, 2000);
        ASSERT_EQ(got.status, STATUS_NOERROR) << "round " << round << ": " << last_error();
        EXPECT_EQ(data_of(got.msgs[0]), answer);
    }
}

// The ECU leaves its extended session 5 s after the last request (S3) unless tester present keeps it.
TEST_F(PeriodicMessages, KeepTheEcuInItsSessionWhileTheApplicationOnlyReads) {
    ASSERT_EQ(sim.set_vehicle("demo"), 0);
    open_device();
    connect(ISO15765, 500000);
    PASSTHRU_MSG mask = passthru_msg(ISO15765, 0, {0xFF, 0xFF, 0xFF, 0xFF});
    PASSTHRU_MSG pattern = passthru_msg(ISO15765, 0, {0x00, 0x00, 0x07, 0xE8});
    PASSTHRU_MSG flow = passthru_msg(ISO15765, 0, {0x00, 0x00, 0x07, 0xE0}), msg = kTesterPresent;
    J2534_ULONG filter = 0, id = 0;
    ASSERT_EQ(pt.PassThruStartMsgFilter(ISO15765, FLOW_CONTROL_FILTER, &mask, &pattern, &flow, &filter),
              STATUS_NOERROR);
    const auto ask = [&](std::initializer_list<int> request) {
        PASSTHRU_MSG sent = passthru_msg(ISO15765, 0, {0x00, 0x00, 0x07, 0xE0});
        for (const int byte : request) sent.Data[sent.DataSize++] = static_cast<std::uint8_t>(byte);
        EXPECT_EQ(write(ISO15765, sent, 1000), STATUS_NOERROR);
        const auto got = read(ISO15765, 1, 2000);
        return got.status == STATUS_NOERROR ? data_of(got.msgs[0]).substr(4) : last_error();
    };
    const auto only_read = [&](std::chrono::seconds span) {
        for (const auto end = std::chrono::steady_clock::now() + span; std::chrono::steady_clock::now() < end;)
            EXPECT_EQ(read(ISO15765, 10, 1000).status, ERR_TIMEOUT);
    };
    EXPECT_EQ(ask({0x10, 0x03}), bytes({0x50, 0x03, 0x00, 0x32, 0x01, 0xF4}));
    ASSERT_EQ(pt.PassThruStartPeriodicMsg(ISO15765, &msg, &id, 2000), STATUS_NOERROR);
    only_read(12s);
    EXPECT_EQ(ask({0x22, 0xF1, 0x86}), bytes({0x62, 0xF1, 0x86, 0x03}));
    ASSERT_EQ(pt.PassThruStopPeriodicMsg(ISO15765, id), STATUS_NOERROR);
    only_read(6s);
    EXPECT_EQ(ask({0x22, 0xF1, 0x86}), bytes({0x62, 0xF1, 0x86, 0x01}));
}

// A write that times out is tried at the next due time; one cut short keeps every later one back
// until the application's next call finishes it, which a read does too.
TEST_F(PeriodicMessages, AFailedWriteIsTriedAgainAndACutOneWaitsForTheApplication) {
    if (sim.usbfs) GTEST_SKIP() << "the usbfs model fails no transfer on request";
    open_device();
    connect(CAN, 500000);
    PASSTHRU_MSG msg = passthru_msg(CAN, 0, {0x00, 0x00, 0x07, 0xDF, 0x02, 0x3E, 0x80});
    const std::string att = "att5 7 64\r\n" + data_of(msg), sent_line = periodic_line(1, att);
    J2534_ULONG id = 0;
    ASSERT_EQ(pt.PassThruStartPeriodicMsg(CAN, &msg, &id, 20), STATUS_NOERROR);
    Strings lines;
    std::size_t from = 0;  // where the last line awaited was
    const auto logged = [&](const std::string& line) {
        return eventually([&] {
            for (std::string& taken : log.take()) lines.push_back(std::move(taken));
            const auto at = std::find(lines.begin() + static_cast<std::ptrdiff_t>(from), lines.end(), line);
            if (at != lines.end()) from = static_cast<std::size_t>(at - lines.begin());
            return at != lines.end();
        });
    };
    const std::string not_sent =
        "[tactrix] periodic message 1 on channel 5 not sent, next try in 20 ms: transport error: ";
    sim.fail_next_transfer(-7, 0);  // LIBUSB_ERROR_TIMEOUT
    EXPECT_TRUE(logged(not_sent + "operation timed out"));
    sim.fail_next_transfer(-9, 4);  // LIBUSB_ERROR_PIPE after "att5"
    EXPECT_TRUE(logged(not_sent + "I/O error: Pipe error"));
    const std::size_t cut = from;
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(read(CAN, 1, 0).status, ERR_BUFFER_EMPTY);
    EXPECT_TRUE(logged("[tactrix] finishing a command cut short: 14 bytes left"));
    EXPECT_EQ(std::count(lines.begin() + static_cast<std::ptrdiff_t>(cut),
                         lines.begin() + static_cast<std::ptrdiff_t>(from), sent_line),
              0);
    EXPECT_TRUE(logged(sent_line));
    std::string whole;
    const std::string written = wire.take();
    while (whole.size() < written.size()) whole += att;
    EXPECT_EQ(written, whole);
}

}  // namespace
}  // namespace vexo::e2e
