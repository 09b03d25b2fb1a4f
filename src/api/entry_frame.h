#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <type_traits>
#include <utility>

#include "api/device_slot.h"
#include "core/diagnostic_log.h"
#include "core/passthru_error.h"
#include "vexo/j2534.h"

// What every entry point shares: the slot lock, the broken and no-device cases, the failure
// line and the status conversion, in that order, with nothing but the device call (and the
// narrowing of the caller's values for it) under the lock.
namespace vexo::api {

// Whatever escapes the body becomes ERR_FAILED: no exception may cross the exported boundary.
template <class Body>
std::uint32_t shielded(Body&& body) noexcept {
    return contain_faults(body, [](const std::exception*) -> std::uint32_t { return ERR_FAILED; });
}

// Runs op on the slot's device (as its owning pointer, never null) under the slot lock.
// Nothing when the slot is broken; a fault unwinding out of op breaks it.
template <class Op>
auto call_device(Op&& op) -> std::optional<std::invoke_result_t<Op&, std::unique_ptr<Device>&>> {
    using Outcome = std::invoke_result_t<Op&, std::unique_ptr<Device>&>;
    DeviceSlot& slot = device_slot();
    BreakableGuard guard(slot.lock);
    if (guard.broken()) return std::nullopt;
    if (!slot.device) return Outcome(fail(PassThruError::device_not_connected()));
    return op(slot.device);
}

// Marks an entry point that logs nothing when it fails.
struct NoFailureLine {};

// The whole frame after the null checks and input conversion. After the release, a success is
// handed to on_ok (which logs, writes the outputs and returns the status); a failure logs
// "{fail_prefix()} {error text}" unless the entry point has no failure line, then goes
// through to_status.
template <class Op, class OnOk, class FailPrefix>
std::uint32_t run_on_device(Op&& op, OnOk&& on_ok, FailPrefix&& fail_prefix) {
    auto outcome = call_device(op);
    if (!outcome) return ERR_FAILED;
    if (!*outcome) {
        const PassThruError& error = outcome->error();
        if constexpr (!std::is_same_v<std::decay_t<FailPrefix>, NoFailureLine>) {
            log_line(fail_prefix() + " " + error.message());
        }
        return to_status(error);
    }
    if constexpr (std::is_void_v<typename std::decay_t<decltype(*outcome)>::value_type>) {
        return on_ok();
    } else {
        return on_ok(std::move(**outcome));
    }
}

}  // namespace vexo::api
