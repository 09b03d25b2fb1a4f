// GCC's -fsanitize-coverage=trace-pc calls __sanitizer_cov_trace_pc at every edge; libFuzzer
// only counts inline 8-bit counters. This maps each call site to a counter (hashed return
// address) and registers the counters, with a PC table of matching size, before libFuzzer
// starts. Built without coverage itself. libFuzzer's own __sanitizer_cov_trace_pc, which
// refuses to run, is weakened in the copy of its archive we link (see CMakeLists.txt).
#include <cstddef>
#include <cstdint>

extern "C" void __sanitizer_cov_8bit_counters_init(std::uint8_t* begin, std::uint8_t* end);
extern "C" void __sanitizer_cov_pcs_init(const std::uintptr_t* begin, const std::uintptr_t* end);

namespace {

constexpr std::size_t kCounters = std::size_t{1} << 16;
std::uint8_t counters[kCounters];
std::uintptr_t pc_table[2 * kCounters];  // {pseudo PC, flags} per counter

struct Registration {
    Registration() {
        for (std::size_t i = 0; i < kCounters; ++i) pc_table[2 * i] = i + 1;
        __sanitizer_cov_8bit_counters_init(counters, counters + kCounters);
        __sanitizer_cov_pcs_init(pc_table, pc_table + 2 * kCounters);
    }
} registration;

}  // namespace

extern "C" __attribute__((no_sanitize("address", "undefined"))) void __sanitizer_cov_trace_pc() {
    const auto pc = reinterpret_cast<std::uintptr_t>(__builtin_return_address(0));
    ++counters[(pc ^ (pc >> 16)) & (kCounters - 1)];
}
