// Several application threads on one open device while the cable streams traffic.
#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <mutex>
#include <set>
#include <thread>

#include "passthru_fixture.h"

namespace vexo::e2e {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using ConcurrentCalls = PassThruTest;

constexpr auto kRunTime = 2500ms;
// Far beyond the longest single call (2-second reply windows), short of the ctest time-out.
constexpr auto kWatchdog = 60s;
// CAN frames 0x100 to 0x10F, numbered, VEXO_E2E_BUS_LOAD a second (see CMakeLists.txt): over
// the run fewer than the driver keeps of vehicle data that arrives during command replies, so
// that none of it may be dropped however the threads take turns.
constexpr const char* kBusLoad = "busload:" VEXO_E2E_BUS_LOAD;
// Through the usbfs model every transfer is a round trip over umockdev's socket as well: under
// the sanitizers that path falls behind 10000 frames a second and replies miss their windows.
constexpr const char* kUsbfsBusLoad = "busload:1000";

// Statuses one thread saw, by function, and the stream numbers its reads returned.
struct Record {
    std::map<std::string, std::map<J2534_STATUS, unsigned>> statuses;
    std::vector<std::uint32_t> numbers;

    void note(const std::string& call, J2534_STATUS status) { ++statuses[call][status]; }
};

// The bus-load frame number, in the first four data bytes after the CAN ID.
std::uint32_t stream_number(const PASSTHRU_MSG& msg) {
    std::uint32_t number = 0;
    for (int i = 4; i < 8; ++i) number = number << 8 | msg.Data[i];
    return number;
}

TEST_F(ConcurrentCalls, MixedCallsOnOneDeviceNeitherFailNorDeadlock) {
    open_device();
    connect(CAN, 500000);
    connect(ISO15765, 500000);
    PASSTHRU_MSG mask = passthru_msg(CAN, 0, {0xFF, 0xFF, 0xFF, 0xF0});
    PASSTHRU_MSG pattern = passthru_msg(CAN, 0, {0x00, 0x00, 0x01, 0x00});
    J2534_ULONG filter = 0;
    ASSERT_EQ(pt.PassThruStartMsgFilter(CAN, PASS_FILTER, &mask, &pattern, nullptr, &filter), STATUS_NOERROR);
    ASSERT_EQ(sim.set_vehicle(sim.usbfs ? kUsbfsBusLoad : kBusLoad), 0);

    std::array<Record, 4> records;
    std::atomic<bool> stop{false};
    std::mutex done_mutex;
    std::condition_variable done_changed;
    int done = 0;
    const auto worker = [&](Record& record, auto body) {
        return std::thread([&, body] {
            for (unsigned round = 0; !stop.load(); ++round) body(record, round);
            std::lock_guard lock(done_mutex);
            ++done;
            done_changed.notify_all();
        });
    };

    std::vector<std::thread> threads;
    threads.push_back(worker(records[0], [&](Record& r, unsigned round) {
        std::vector<PASSTHRU_MSG> msgs(8);
        J2534_ULONG n = 8;
        const J2534_STATUS status = pt.PassThruReadMsgs(CAN, msgs.data(), &n, round % 2 == 0 ? 0 : 5);
        r.note("PassThruReadMsgs", status);
        if (status != STATUS_NOERROR) return;
        for (std::uint32_t i = 0; i < n; ++i) r.numbers.push_back(stream_number(msgs[i]));
    }));
    threads.push_back(worker(records[1], [&](Record& r, unsigned round) {
        // To an ID no simulated ECU answers: replies would land in the CAN reads.
        PASSTHRU_MSG msg = passthru_msg(ISO15765, 0, {0x00, 0x00, 0x01, 0x23, 0x01, static_cast<int>(round & 0xFF)});
        J2534_ULONG n = 1;
        r.note("PassThruWriteMsgs", pt.PassThruWriteMsgs(ISO15765, &msg, &n, 0));
    }));
    threads.push_back(worker(records[2], [&](Record& r, unsigned round) {
        if (round % 2 == 0) {
            J2534_ULONG millivolts = 0;
            r.note("READ_VBATT", pt.PassThruIoctl(0, READ_VBATT, nullptr, &millivolts));
        } else {
            SCONFIG param{LOOPBACK, round % 4 == 1 ? 1u : 0u};
            SCONFIG_LIST list{1, &param};
            r.note("SET_CONFIG", pt.PassThruIoctl(ISO15765, SET_CONFIG, &list, nullptr));
        }
    }));
    threads.push_back(worker(records[3], [&](Record& r, unsigned) {
        PASSTHRU_MSG isotp_mask = passthru_msg(ISO15765, 0, {0xFF, 0xFF, 0xFF, 0xFF});
        PASSTHRU_MSG isotp_pattern = passthru_msg(ISO15765, 0, {0x00, 0x00, 0x07, 0xE8});
        J2534_ULONG id = 0;
        r.note("PassThruStartMsgFilter",
               pt.PassThruStartMsgFilter(ISO15765, PASS_FILTER, &isotp_mask, &isotp_pattern, nullptr, &id));
    }));

    std::this_thread::sleep_for(kRunTime);
    stop = true;
    {
        std::unique_lock lock(done_mutex);
        if (!done_changed.wait_for(lock, kWatchdog, [&] { return done == 4; })) {
            std::fprintf(stderr, "deadlock: %d of 4 threads finished %lld s after being told to stop\n", done,
                         static_cast<long long>(kWatchdog.count()));
            std::_Exit(3);
        }
    }
    for (auto& thread : threads) thread.join();
    ASSERT_EQ(sim.set_vehicle("none"), 0);

    // What each thread did, shown when anything below fails.
    std::string summary;
    for (const Record& record : records) {
        for (const auto& [call, counts] : record.statuses) {
            for (const auto& [status, count] : counts) {
                summary += call + " status " + std::to_string(status) + ": " + std::to_string(count) + " calls\n";
            }
        }
    }
    SCOPED_TRACE(summary);

    const std::map<std::string, std::set<J2534_STATUS>> allowed = {
        {"PassThruReadMsgs", {STATUS_NOERROR, ERR_TIMEOUT, ERR_BUFFER_EMPTY}},
        {"PassThruWriteMsgs", {STATUS_NOERROR}},
        {"READ_VBATT", {STATUS_NOERROR}},
        {"SET_CONFIG", {STATUS_NOERROR}},
        {"PassThruStartMsgFilter", {STATUS_NOERROR}},
    };
    for (const Record& record : records) {
        for (const auto& [call, counts] : record.statuses) {
            for (const auto& [status, count] : counts) EXPECT_TRUE(allowed.at(call).contains(status)) << call;
        }
    }
    for (const auto& [call, statuses] : allowed) {
        const bool called =
            std::any_of(records.begin(), records.end(), [&](const Record& r) { return r.statuses.contains(call); });
        EXPECT_TRUE(called) << call << " never got its turn";
    }

    // Every streamed message arrives once and in order, also those that came in while another
    // thread's command awaited its reply.
    std::vector<std::uint32_t> numbers = records[0].numbers;
    for (;;) {
        const auto rest = read(CAN, 64, 0);
        if (rest.status != STATUS_NOERROR) break;
        for (const auto& msg : rest.msgs) numbers.push_back(stream_number(msg));
    }
    ASSERT_FALSE(numbers.empty());
    for (std::size_t i = 1; i < numbers.size(); ++i) {
        ASSERT_EQ(numbers[i], numbers[0] + i) << "message " << i << " of " << numbers.size();
    }
}

TEST_F(ConcurrentCalls, GetConfigDoesNotWaitBehindABlockingRead) {
    open_device();
    connect(CAN, 250000);
    std::atomic<bool> read_returned{false};
    std::thread reader([&] {
        (void)read(CAN, 1, 2000);
        read_returned = true;
    });
    std::this_thread::sleep_for(200ms);  // the read holds the device by now
    SCONFIG rate{DATA_RATE, 0};
    SCONFIG_LIST list{1, &rate};
    EXPECT_EQ(pt.PassThruIoctl(CAN, GET_CONFIG, &list, nullptr), STATUS_NOERROR);
    EXPECT_FALSE(read_returned);
    EXPECT_EQ(rate.Value, 250000u);
    reader.join();
}

}  // namespace
}  // namespace vexo::e2e
