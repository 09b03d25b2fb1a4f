// The whole receive path as an application drives it: the simulated cable streams single-frame
// CAN messages flat out on channel 5 (the bus-load vehicle), and PassThruReadMsgs of the shipped
// library takes them,
// with the log file written. Reports messages per second, CPU time per message (the whole
// process, which includes the simulated cable's thread, and the reading thread alone), and that
// CPU time as a share of the airtime of one 8-byte CAN frame. Run with
// LD_LIBRARY_PATH=<build>/sim/simusb; the log goes to TEMP (a directory of its own if unset).
#include <benchmark/benchmark.h>
#include <time.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/e2e/passthru_library.h"
#include "tests/e2e/passthru_records.h"
#include "tests/e2e/sim_controls.h"

namespace {

using vexo::e2e::PassThruLibrary;
using vexo::e2e::SimControls;

// Frames with IDs 0x100 to 0x10F, 8 data bytes, as fast as the host reads them.
constexpr const char* kBusLoad = "busload:max";
constexpr std::uint32_t kReadTimeoutMs = 100;
// Airtime of a standard-ID CAN frame with 8 data bytes, stuff bits included.
constexpr double kAirtimeUs1M = 111.0;
constexpr double kAirtimeUs500k = 222.0;

double cpu_seconds(clockid_t clock) {
    timespec now{};
    clock_gettime(clock, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

std::filesystem::path log_directory() {
    const char* temp = std::getenv("TEMP");
    if (temp != nullptr && *temp != '\0') return temp;
    const auto dir = std::filesystem::temp_directory_path() / "vexo_receive_bench";
    std::filesystem::create_directories(dir);
    ::setenv("TEMP", dir.c_str(), 1);
    return dir;
}

// The bus-load frame number, in the first four data bytes after the CAN ID.
std::uint32_t stream_number(const PASSTHRU_MSG& msg) {
    std::uint32_t number = 0;
    for (int i = 4; i < 8; ++i) number = number << 8 | msg.Data[i];
    return number;
}

// Open, channel 5 with a pass filter for the stream's ID, stream running.
bool start_session(const PassThruLibrary& pt, const SimControls& sim, std::string& error) {
    sim.reset();
    sim.attach_cables(1);
    J2534_ULONG id = 0;
    J2534_ULONG channel = 0;
    J2534_ULONG filter = 0;
    PASSTHRU_MSG mask = vexo::e2e::passthru_msg(CAN, 0, {0xFF, 0xFF, 0xFF, 0xF0});
    PASSTHRU_MSG pattern = vexo::e2e::passthru_msg(CAN, 0, {0x00, 0x00, 0x01, 0x00});
    if (pt.PassThruOpen(nullptr, &id) != STATUS_NOERROR ||
        pt.PassThruConnect(id, CAN, 0, 500000, &channel) != STATUS_NOERROR ||
        pt.PassThruStartMsgFilter(channel, PASS_FILTER, &mask, &pattern, nullptr, &filter) != STATUS_NOERROR) {
        char text[80] = "";
        pt.PassThruGetLastError(text);
        error = std::string("session setup failed: ") + text;
        return false;
    }
    return sim.set_vehicle(kBusLoad) == 0;
}

void BM_ReceivePath(benchmark::State& state) {
    const PassThruLibrary& pt = vexo::e2e::passthru_library();
    const SimControls& sim = vexo::e2e::sim_controls();
    if (!sim.error.empty()) {
        state.SkipWithError(sim.error.c_str());
        return;
    }
    const auto log_file = log_directory() / "j2534-0404.log";
    std::string error;
    if (!start_session(pt, sim, error)) {
        state.SkipWithError(error.c_str());
        return;
    }

    const auto capacity = static_cast<std::uint32_t>(state.range(0));
    std::vector<PASSTHRU_MSG> msgs(capacity);
    std::uint64_t received = 0;
    std::uint32_t first = 0;  // the stream may have begun before the first read
    const double process_start = cpu_seconds(CLOCK_PROCESS_CPUTIME_ID);
    const double thread_start = cpu_seconds(CLOCK_THREAD_CPUTIME_ID);
    for (auto _ : state) {
        J2534_ULONG n = capacity;
        if (pt.PassThruReadMsgs(CAN, msgs.data(), &n, kReadTimeoutMs) != STATUS_NOERROR) {
            state.SkipWithError("PassThruReadMsgs failed");
            break;
        }
        if (received == 0 && n > 0) first = stream_number(msgs[0]);
        for (J2534_ULONG i = 0; i < n; ++i) {
            if (stream_number(msgs[i]) != static_cast<std::uint32_t>(first + received + i)) {
                state.SkipWithError("a streamed message went missing or came out of order");
                break;
            }
        }
        received += n;
    }
    const double process_cpu = cpu_seconds(CLOCK_PROCESS_CPUTIME_ID) - process_start;
    const double thread_cpu = cpu_seconds(CLOCK_THREAD_CPUTIME_ID) - thread_start;

    sim.set_vehicle("none");
    pt.PassThruClose(1);
    sim.reset();
    // The log grows by a line per frame; a run leaves it behind only as long as it is needed.
    std::filesystem::remove(log_file);

    const double count = static_cast<double>(received == 0 ? 1 : received);
    const double process_us = process_cpu * 1e6 / count;
    const double thread_us = thread_cpu * 1e6 / count;
    state.counters["msgs_per_s"] = benchmark::Counter(static_cast<double>(received), benchmark::Counter::kIsRate);
    state.counters["cpu_us_per_msg"] = process_us;
    state.counters["reader_cpu_us_per_msg"] = thread_us;
    state.counters["cpu_per_airtime_1M"] = process_us / kAirtimeUs1M;
    state.counters["cpu_per_airtime_500k"] = process_us / kAirtimeUs500k;
    state.SetItemsProcessed(static_cast<std::int64_t>(received));
}
BENCHMARK(BM_ReceivePath)->Arg(1)->Arg(16)->Arg(256)->UseRealTime()->Unit(benchmark::kMicrosecond)->MinTime(2.0);

// A cable out of step: "ari", 4 MB without LF, then one CAN message, read with
// PassThruReadMsgs(..., 20) until the message comes. Reports the drain rate (target: at least
// 10 MB/s) and the longest single read, which should stay near its 20 ms.
void BM_GarbageDrain(benchmark::State& state) {
    const PassThruLibrary& pt = vexo::e2e::passthru_library();
    const SimControls& sim = vexo::e2e::sim_controls();
    std::string stream = "ari";
    // Never LF, and never an 'r' that could follow an 'a' into a frame.
    for (std::size_t i = 0; i < (4u << 20); ++i) stream += static_cast<char>(i % 200 == 0 ? 'a' : 0x80 | (i & 0x7F));
    // Framed as the cable frames it: the simulated cable takes no vehicle traffic beyond 1 MB unread.
    stream += vexo::e2e::data_frame(5, 0x40, 1, std::string("\x00\x00\x07\xE8\x02\x01\x0D", 7));
    const auto log_file = log_directory() / "j2534-0404.log";
    std::chrono::duration<double> drained{0};
    std::chrono::duration<double, std::milli> longest{0};
    for (auto _ : state) {
        sim.reset();
        sim.attach_cables(1);
        J2534_ULONG id = 0;
        J2534_ULONG channel = 0;
        if (!sim.error.empty() || pt.PassThruOpen(nullptr, &id) != 0 ||
            pt.PassThruConnect(id, CAN, 0, 500000, &channel) != 0) {
            state.SkipWithError("session setup failed");
            break;
        }
        sim.inject(reinterpret_cast<const std::uint8_t*>(stream.data()), stream.size());
        const auto start = std::chrono::steady_clock::now();
        const auto give_up = start + std::chrono::minutes(2);
        for (J2534_STATUS status = ERR_TIMEOUT; status == ERR_TIMEOUT && std::chrono::steady_clock::now() < give_up;) {
            PASSTHRU_MSG msg{};
            J2534_ULONG n = 1;
            const auto before = std::chrono::steady_clock::now();
            status = pt.PassThruReadMsgs(CAN, &msg, &n, 20);
            longest = std::max<std::chrono::duration<double, std::milli>>(longest, std::chrono::steady_clock::now() - before);
        }
        drained += std::chrono::steady_clock::now() - start;
        pt.PassThruClose(id);
    }
    sim.reset();
    std::filesystem::remove(log_file);
    state.counters["drain_MB_per_s"] = static_cast<double>(state.iterations() * stream.size()) / 1e6 / drained.count();
    state.counters["longest_read_ms"] = longest.count();
}
BENCHMARK(BM_GarbageDrain)->Iterations(2)->UseRealTime()->Unit(benchmark::kMillisecond);

}  // namespace
