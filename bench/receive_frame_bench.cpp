// The session's receive over a stream of realistic CAN data frames (21 bytes: "ar5", length,
// status, time stamp, CAN ID, 8 data bytes), read 512 bytes at a time from the simulated
// cable as from the USB bulk endpoint. Once with the log file in a real directory, once with
// no log directory (every line then costs only the failed open). Reports frames/s, MB/s and
// the multiple of USB full speed (about 1.2 MB/s of payload), and, for the log-on run, the
// cost per frame as a multiple of the bare system calls one log line needs (open, write,
// close), which BM_LogLineSystemCalls times on its own.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "sim/sim_control.h"
#include "sim/sim_scripted_link.h"
#include "tactrix/cable_session.h"

namespace {

using Clock = std::chrono::steady_clock;
using vexo::tactrix::CableSession;

constexpr std::size_t kFrameSize = 21;
constexpr std::size_t kFrames = 20000;
constexpr double kUsbFullSpeedBytesPerSecond = 1.2e6;
constexpr const char* kSampleLine =
    "[tactrix] tactrix RX frame: Data(proto=0x35 kind=RxEnd ts_us=1000 len=12 payload=[00 00 07 E8 08 01 02 03 "
    "04 05 06 07])";

std::vector<std::uint8_t> can_stream() {
    std::vector<std::uint8_t> out;
    out.reserve(kFrames * kFrameSize);
    for (std::uint32_t i = 0; i < kFrames; ++i) {
        const std::uint32_t ts = i * 250;
        out.insert(out.end(), {'a', 'r', '5', static_cast<std::uint8_t>(kFrameSize - 4), 0x40});
        out.insert(out.end(), {static_cast<std::uint8_t>(ts >> 24), static_cast<std::uint8_t>(ts >> 16),
                               static_cast<std::uint8_t>(ts >> 8), static_cast<std::uint8_t>(ts)});
        out.insert(out.end(), {0x00, 0x00, 0x07, 0xE8});
        for (std::uint8_t b = 0; b < 8; ++b) out.push_back(static_cast<std::uint8_t>(i + b));
    }
    return out;
}

// Found once, before the runs point TEMP (which temp_directory_path also reads) elsewhere.
const std::filesystem::path& real_log_directory() {
    static const std::filesystem::path dir = [] {
        auto made = std::filesystem::temp_directory_path() / "vexo_receive_frame_bench";
        std::filesystem::create_directories(made);
        return made;
    }();
    return dir;
}

// Open, write and close of one log line, as the log does it, in nanoseconds.
double log_line_floor_ns(const std::filesystem::path& file, int lines) {
    const std::string line = std::string(kSampleLine) + "\n";
    const auto start = Clock::now();
    for (int i = 0; i < lines; ++i) {
        const int fd = ::open(file.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0600);
        if (fd < 0) return 0;
        benchmark::DoNotOptimize(::write(fd, line.data(), line.size()));
        ::close(fd);
    }
    return std::chrono::duration<double, std::nano>(Clock::now() - start).count() / lines;
}

void receive_frames(benchmark::State& state, bool log_on) {
    const auto& dir = real_log_directory();
    const std::string temp = log_on ? dir.string() : (dir / "missing").string();
    ::setenv("TEMP", temp.c_str(), 1);
    (void)vexo::tactrix::usb_context();
    vexo::sim::reset();
    auto link = std::make_shared<vexo::sim::ScriptedLink>();
    vexo::sim::install_link(vexo::sim::attach_cables(1), link);
    CableSession session;
    if (!session.open()) {
        state.SkipWithError("cannot open the simulated cable");
        return;
    }
    const auto stream = can_stream();
    std::size_t frames = 0;
    for (auto _ : state) {
        link->push_output(stream);
        for (std::size_t i = 0; i < kFrames; ++i) {
            if (!session.receive(std::chrono::seconds(1))) {
                state.SkipWithError("a frame did not arrive");
                return;
            }
        }
        frames += kFrames;
        vexo::sim::clear_calls();
    }
    session.close();
    vexo::sim::reset();
    std::filesystem::remove(dir / "j2534-0404.log");

    const auto fps = benchmark::Counter(static_cast<double>(frames), benchmark::Counter::kIsRate);
    state.counters["frames_per_s"] = fps;
    state.counters["MB_per_s"] =
        benchmark::Counter(static_cast<double>(frames * kFrameSize) / 1e6, benchmark::Counter::kIsRate);
    state.counters["x_usb_full_speed"] = benchmark::Counter(
        static_cast<double>(frames * kFrameSize) / kUsbFullSpeedBytesPerSecond, benchmark::Counter::kIsRate);
    if (log_on) {
        // Per frame in ns, as a multiple of the floor measured here, in the same conditions.
        const double floor_ns = log_line_floor_ns(dir / "floor.log", 2000);
        std::filesystem::remove(dir / "floor.log");
        state.counters["log_line_floor_ns"] = floor_ns;
        state.counters["x_log_line_floor"] =
            benchmark::Counter(static_cast<double>(frames) * floor_ns * 1e-9,
                               benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(frames * kFrameSize));
}

void BM_ReceiveFrameLogOn(benchmark::State& state) { receive_frames(state, true); }
void BM_ReceiveFrameNoLogDirectory(benchmark::State& state) { receive_frames(state, false); }
BENCHMARK(BM_ReceiveFrameLogOn)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReceiveFrameNoLogDirectory)->UseRealTime()->Unit(benchmark::kMillisecond);

void BM_LogLineSystemCalls(benchmark::State& state) {
    const auto file = real_log_directory() / "floor.log";
    const std::string line = std::string(kSampleLine) + "\n";
    for (auto _ : state) {
        const int fd = ::open(file.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0600);
        benchmark::DoNotOptimize(::write(fd, line.data(), line.size()));
        ::close(fd);
    }
    std::filesystem::remove(file);
}
BENCHMARK(BM_LogLineSystemCalls)->Unit(benchmark::kNanosecond);

}  // namespace
