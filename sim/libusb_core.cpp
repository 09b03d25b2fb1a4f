// Library-wide calls of the simulated libusb: contexts, options and error names.
#include <cstdarg>

#include "sim/sim_bus.h"
#include "sim/sim_control.h"

using vexo::sim::Bus;
using vexo::sim::bus;
using vexo::sim::record_call;

namespace {

struct ErrorName {
    int code;
    const char* name;
    const char* text;
};

constexpr ErrorName kErrors[] = {
    {LIBUSB_SUCCESS, "LIBUSB_SUCCESS / LIBUSB_TRANSFER_COMPLETED", "Success"},
    {LIBUSB_ERROR_IO, "LIBUSB_ERROR_IO", "Input/Output Error"},
    {LIBUSB_ERROR_INVALID_PARAM, "LIBUSB_ERROR_INVALID_PARAM", "Invalid parameter"},
    {LIBUSB_ERROR_ACCESS, "LIBUSB_ERROR_ACCESS", "Access denied (insufficient permissions)"},
    {LIBUSB_ERROR_NO_DEVICE, "LIBUSB_ERROR_NO_DEVICE", "No such device (it may have been disconnected)"},
    {LIBUSB_ERROR_NOT_FOUND, "LIBUSB_ERROR_NOT_FOUND", "Entity not found"},
    {LIBUSB_ERROR_BUSY, "LIBUSB_ERROR_BUSY", "Resource busy"},
    {LIBUSB_ERROR_TIMEOUT, "LIBUSB_ERROR_TIMEOUT", "Operation timed out"},
    {LIBUSB_ERROR_OVERFLOW, "LIBUSB_ERROR_OVERFLOW", "Overflow"},
    {LIBUSB_ERROR_PIPE, "LIBUSB_ERROR_PIPE", "Pipe error"},
    {LIBUSB_ERROR_INTERRUPTED, "LIBUSB_ERROR_INTERRUPTED", "System call interrupted (perhaps due to signal)"},
    {LIBUSB_ERROR_NO_MEM, "LIBUSB_ERROR_NO_MEM", "Insufficient memory"},
    {LIBUSB_ERROR_NOT_SUPPORTED, "LIBUSB_ERROR_NOT_SUPPORTED",
     "Operation not supported or unimplemented on this platform"},
};

const ErrorName* find_error(int code) {
    for (const auto& error : kErrors) {
        if (error.code == code) return &error;
    }
    return nullptr;
}

libusb_context default_context;

}  // namespace

extern "C" {

int LIBUSB_CALL libusb_init(libusb_context** context) {
    vexo::sim::apply_environment_unless_controlled();
    Bus& state = bus();
    std::lock_guard lock(state.mutex);
    record_call(state, "libusb_init");
    if (const auto due = vexo::sim::take_due_fault(state)) return due->code;
    if (state.init_fault != 0) return state.init_fault;
    if (context != nullptr) *context = new libusb_context;
    ++state.live_contexts;
    return LIBUSB_SUCCESS;
}

void LIBUSB_CALL libusb_exit(libusb_context* context) {
    Bus& state = bus();
    std::lock_guard lock(state.mutex);
    record_call(state, "libusb_exit");
    if (state.live_contexts > 0) --state.live_contexts;
    if (context != nullptr && context != &default_context) delete context;
}

void LIBUSB_CALL libusb_set_debug(libusb_context*, int level) {
    Bus& state = bus();
    std::lock_guard lock(state.mutex);
    record_call(state, vexo::sim::call_text("libusb_set_debug", {std::to_string(level)}));
}

int LIBUSB_CALL libusb_set_option(libusb_context*, enum libusb_option option, ...) {
    Bus& state = bus();
    std::lock_guard lock(state.mutex);
    record_call(state, vexo::sim::call_text("libusb_set_option", {std::to_string(static_cast<int>(option))}));
    return LIBUSB_SUCCESS;
}

const char* LIBUSB_CALL libusb_error_name(int code) {
    const ErrorName* error = find_error(code);
    return error != nullptr ? error->name : "**UNKNOWN**";
}

const char* LIBUSB_CALL libusb_strerror(int code) {
    const ErrorName* error = find_error(code);
    return error != nullptr ? error->text : "Other error";
}

}  // extern "C"

extern "C" {

const struct libusb_version* LIBUSB_CALL libusb_get_version(void) {
    static const libusb_version version{1, 0, 26, 0, "", "vexo simulated cable"};
    return &version;
}

int LIBUSB_CALL libusb_has_capability(uint32_t capability) { return capability == LIBUSB_CAP_HAS_CAPABILITY ? 1 : 0; }

}  // extern "C"
