// A burst of small CAN frames read 512 bytes at a time and drained frame by frame, as the
// reader does. The time per byte must stay flat from 256 KB to 4 MB: removing frames from
// the front of the buffer may not cost more as the burst grows.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <span>
#include <vector>

#include "tactrix/frames.h"
#include "tactrix/cable_session.h"

namespace {

using vexo::tactrix::ParseError;
using vexo::tactrix::RxBuffer;

constexpr std::size_t kReadSize = 512;

// "ar6" frames with a timestamp and an 8-byte CAN payload (ID + 4 data bytes vary in length).
std::vector<std::uint8_t> make_burst(std::size_t bytes) {
    std::vector<std::uint8_t> out;
    out.reserve(bytes + 32);
    std::uint32_t ts = 0;
    while (out.size() < bytes) {
        const std::uint8_t data_len = static_cast<std::uint8_t>(4 + ts % 9);
        out.insert(out.end(), {'a', 'r', '6', static_cast<std::uint8_t>(5 + data_len), 0x00});
        out.insert(out.end(), {static_cast<std::uint8_t>(ts >> 24), static_cast<std::uint8_t>(ts >> 16),
                               static_cast<std::uint8_t>(ts >> 8), static_cast<std::uint8_t>(ts)});
        for (std::uint8_t i = 0; i < data_len; ++i) out.push_back(static_cast<std::uint8_t>(ts + i));
        ts += 250;
    }
    return out;
}

void BM_ParseBurst(benchmark::State& state) {
    const auto burst = make_burst(static_cast<std::size_t>(state.range(0)));
    std::size_t frames = 0;
    for (auto _ : state) {
        RxBuffer rx;
        frames = 0;
        for (std::size_t pos = 0; pos < burst.size(); pos += kReadSize) {
            const std::size_t n = std::min(kReadSize, burst.size() - pos);
            rx.append(std::span(burst).subspan(pos, n));
            for (;;) {
                auto r = vexo::tactrix::parse_frame(rx.bytes());
                if (!r) {
                    if (r.error().kind != ParseError::NeedMoreData) state.SkipWithError("parser desync");
                    break;
                }
                rx.consume(r->first);
                benchmark::DoNotOptimize(r->second);
                ++frames;
            }
        }
        if (!rx.empty()) state.SkipWithError("bytes left over");
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * burst.size()));
    state.SetComplexityN(static_cast<std::int64_t>(burst.size()));
    state.counters["frames"] = static_cast<double>(frames);
    state.counters["ns_per_byte"] = benchmark::Counter(static_cast<double>(state.iterations() * burst.size()),
                                                       benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

BENCHMARK(BM_ParseBurst)
    ->Arg(256 << 10)
    ->Arg(1 << 20)
    ->Arg(4 << 20)
    ->Unit(benchmark::kMillisecond)
    ->Complexity(benchmark::oN);

}  // namespace
