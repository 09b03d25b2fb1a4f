#include <exception>
#include <string>

#include "api/device_factory.h"
#include "api/entry_frame.h"
#include "api/entry_points.h"
#include "core/text_format.h"

namespace vexo::api {

namespace {

constexpr const char* kAlreadyOpen = "device already open";

// Everything under the slot lock. A fault thrown here unwinds through the guard, which marks
// the slot broken, before the caller captures it.
Result<std::uint32_t> open_into_slot() {
    DeviceSlot& slot = device_slot();
    BreakableGuard guard(slot.lock);
    if (guard.broken()) return fail(PassThruError::internal("DEVICE mutex poisoned"));
    if (slot.device) return fail(PassThruError::internal(kAlreadyOpen));
    std::unique_ptr<Device> device = make_device();
    Result<std::uint32_t> id = device->open(0);
    if (id) slot.device = std::move(device);
    return id;
}

bool is_already_open(const PassThruError& error) {
    const std::string* text = error.internal_text();
    return text != nullptr && *text == kAlreadyOpen;
}

std::uint32_t report_panic(const std::string& message) {
    log_line("[j2534] PassThruOpen PANIC " + message);
    last_error::store("panic: " + message);
    return ERR_FAILED;
}

}  // namespace

std::uint32_t passthru_open(void*, std::uint32_t* device_id) {
    if (device_id == nullptr) return ERR_NULL_PARAMETER;
    return shielded([&] {
        std::optional<Result<std::uint32_t>> outcome;
        try {
            outcome = open_into_slot();
        } catch (const std::exception& fault) {
            return report_panic(fault.what());
        } catch (...) {
            return report_panic("unknown panic payload");
        }
        if (!*outcome && is_already_open(outcome->error())) {
            log_line("[j2534] PassThruOpen ERR device already open");
            return ERR_DEVICE_IN_USE;
        }
        if (!*outcome) {
            log_line("[j2534] PassThruOpen ERR " + outcome->error().message());
            return to_status(outcome->error());
        }
        log_line("[j2534] PassThruOpen OK id=" + text::dec(**outcome));
        *device_id = **outcome;
        return STATUS_NOERROR;
    });
}

}  // namespace vexo::api
