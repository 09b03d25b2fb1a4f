#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "core/passthru_error.h"
#include "vexo/j2534.h"

// The caller's scalars are J2534_ULONG: 64 bits in the platform ABI of 64-bit Linux, 32 bits
// everywhere else. The device takes 32. These narrow them, never cutting a value silently, so that
// both ABIs give the same statuses, texts and log lines for every value that fits.
namespace vexo::api {

inline constexpr std::uint64_t kMax32 = 0xFFFFFFFF;

template <class T>
constexpr bool fits_32_bits(T value) {
    if constexpr (sizeof(T) > sizeof(std::uint32_t)) return value <= kMax32;
    return true;
}

// For what only grows or shrinks the work (a time-out, a count) and for the fields of an input
// message the device does not read: anything wider counts as 0xFFFFFFFF.
template <class T>
constexpr std::uint32_t saturated(T value) {
    return fits_32_bits(value) ? static_cast<std::uint32_t>(value) : 0xFFFFFFFFu;
}

// One argument and what it is, for the refusal when it does not fit.
struct CallerValue {
    J2534_ULONG value;
    PassThruError::Argument argument;
};

// The values in order, or the refusal of the first that does not fit.
template <std::size_t N>
Result<std::array<std::uint32_t, N>> narrowed(const CallerValue (&values)[N]) {
    std::array<std::uint32_t, N> out{};
    for (std::size_t i = 0; i < N; ++i) {
        if (!fits_32_bits(values[i].value)) return fail(PassThruError::too_wide(values[i].argument, values[i].value));
        out[i] = static_cast<std::uint32_t>(values[i].value);
    }
    return out;
}

// One value, or its refusal.
inline Result<std::uint32_t> narrowed(J2534_ULONG value, PassThruError::Argument argument) {
    const auto one = narrowed({CallerValue{value, argument}});
    if (!one) return fail(one.error());
    return (*one)[0];
}

}  // namespace vexo::api
