// How late the library's periodic messages reach the simulated cable: lateness of each send after
// its due time (the first send's arrival plus whole intervals), at 100 ms and 2000 ms, with the
// application idle and while it reads back to back (1000 ms time-outs, nothing arriving) and
// writes messages of its own. Fifteen messages run at once, staggered over the interval, told
// apart by channel and length. Target: p99 below 5 ms. --short runs each case briefly (CI).
// Run with LD_LIBRARY_PATH=<build>/sim/simusb; the log goes to TEMP (a directory of its own if unset).
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/e2e/passthru_library.h"
#include "tests/e2e/passthru_records.h"
#include "tests/e2e/sim_controls.h"

namespace {

using namespace std::chrono_literals;
using vexo::e2e::passthru_msg;

// The cable's command lines with their arrival in microseconds.
std::vector<std::pair<std::string, std::uint64_t>> timed_commands(const vexo::e2e::SimControls& sim) {
    std::string text(sim.commands(nullptr, 0) + 1, '\0');
    sim.commands(text.data(), text.size());
    std::vector<std::uint64_t> times(sim.command_times(nullptr, 0));
    sim.command_times(times.data(), times.size());
    std::vector<std::pair<std::string, std::uint64_t>> out;
    std::istringstream in(text.c_str());
    for (std::string line; std::getline(in, line) && out.size() < times.size();)
        out.emplace_back(line, times[out.size()]);
    return out;
}

void run_case(std::uint32_t interval_ms, bool loaded, std::chrono::seconds span) {
    const auto& pt = vexo::e2e::passthru_library();
    const auto& sim = vexo::e2e::sim_controls();
    sim.reset();
    sim.attach_cables(1);
    J2534_ULONG device = 0, channel = 0, id = 0;
    pt.PassThruOpen(nullptr, &device);
    pt.PassThruConnect(device, CAN, 0, 500000, &channel);
    pt.PassThruConnect(device, ISO15765, 0, 500000, &channel);
    // CAN messages of 5 to 12 bytes and ISO15765 ones of 5 to 11; the application's own are 4.
    std::vector<std::string> names;
    for (std::uint32_t protocol : {CAN, ISO15765}) {
        for (std::uint32_t size = 5; size <= (protocol == CAN ? 12u : 11u); ++size) {
            PASSTHRU_MSG msg = passthru_msg(protocol, 0, {0x00, 0x00, 0x07, 0xE0, 0x3E, 0x80});
            msg.DataSize = size;
            if (pt.PassThruStartPeriodicMsg(protocol, &msg, &id, interval_ms) != STATUS_NOERROR) std::abort();
            names.push_back("att" + std::to_string(protocol) + " " + std::to_string(size) + " 64");
            std::this_thread::sleep_for(std::chrono::milliseconds(interval_ms) / 15);
        }
    }
    // Measured once every message runs and the application's load, if any, has begun.
    std::atomic<bool> stop{false};
    std::vector<std::thread> load;
    if (loaded) {
        load.emplace_back([&] {
            std::vector<PASSTHRU_MSG> msgs(8);
            for (J2534_ULONG n = 8; !stop; n = 8) pt.PassThruReadMsgs(ISO15765, msgs.data(), &n, 1000);
        });
        load.emplace_back([&] {
            PASSTHRU_MSG own = passthru_msg(CAN, 0, {0x00, 0x00, 0x07, 0xDF});
            for (J2534_ULONG n = 1; !stop; n = 1) pt.PassThruWriteMsgs(CAN, &own, &n, 100);
        });
        for (auto seen = timed_commands(sim);
             std::none_of(seen.begin(), seen.end(), [](const auto& c) { return c.first == "att5 4 64"; });
             seen = timed_commands(sim))
            std::this_thread::sleep_for(1ms);
    }
    const std::uint64_t from = timed_commands(sim).back().second;
    std::this_thread::sleep_for(span);
    stop = true;
    for (std::thread& thread : load) thread.join();
    pt.PassThruClose(device);

    std::map<std::string, std::vector<std::uint64_t>> sends;
    for (const auto& [line, us] : timed_commands(sim)) sends[line].push_back(us);
    const std::int64_t interval_us = std::int64_t{interval_ms} * 1000;
    std::vector<double> late_ms;
    std::int64_t missed = 0;
    for (const std::string& name : names) {
        const std::vector<std::uint64_t>& times = sends[name];
        std::int64_t due = 0;
        for (std::size_t i = 1; i < times.size(); ++i) {
            // Never early; a send later than a whole interval stands for the one after, the other missed.
            const auto since_first = static_cast<std::int64_t>(times[i] - times[0]);
            due = (since_first + 1000) / interval_us;
            if (times[i] >= from) late_ms.push_back(static_cast<double>(since_first - due * interval_us) / 1000.0);
        }
        missed += due - static_cast<std::int64_t>(times.size() > 0 ? times.size() - 1 : 0);
    }
    std::sort(late_ms.begin(), late_ms.end());
    const auto at = [&](double share) {
        return late_ms.empty() ? 0.0
                               : late_ms[static_cast<std::size_t>(share * static_cast<double>(late_ms.size() - 1))];
    };
    std::printf(
        "interval %5u ms, %-37s %5zu sends, lateness median %6.3f ms, p99 %6.3f ms, worst %6.3f ms, %lld missed\n",
        interval_ms, loaded ? "while the application reads and writes:" : "application idle:", late_ms.size(), at(0.5),
        at(0.99), late_ms.empty() ? 0.0 : late_ms.back(), static_cast<long long>(missed));
}

}  // namespace

int main(int argc, char** argv) {
    const bool brief = argc > 1 && std::string(argv[1]) == "--short";
    if (!vexo::e2e::sim_controls().error.empty()) {
        std::fprintf(stderr, "%s\n", vexo::e2e::sim_controls().error.c_str());
        return 1;
    }
    const char* temp = std::getenv("TEMP");
    if (temp == nullptr || *temp == '\0') {
        const auto dir = std::filesystem::temp_directory_path() / "vexo_periodic_bench";
        std::filesystem::create_directories(dir);
        ::setenv("TEMP", dir.c_str(), 1);
    }
    std::printf("periodic messages against the simulated cable, 15 at once (target: p99 below 5 ms)\n");
    for (const std::uint32_t interval : {100u, 2000u}) {
        for (const bool loaded : {false, true})
            run_case(interval, loaded,
                     std::chrono::seconds(brief ? (interval == 100 ? 1 : 4) : (interval == 100 ? 20 : 60)));
    }
    return 0;
}
