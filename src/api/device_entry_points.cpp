#include <string>

#include "api/entry_frame.h"
#include "api/entry_points.h"
#include "api/marshalling.h"
#include "core/text_format.h"

namespace vexo::api {

using text::dec;

namespace {

// Everything under the slot lock. A fault thrown here unwinds through the guard, which marks
// the slot broken, before the caller captures it.
Result<std::uint32_t> open_into_slot() {
    DeviceSlot& slot = device_slot();
    BreakableGuard guard(slot.lock);
    if (guard.broken()) return fail(PassThruError::internal("DEVICE mutex poisoned"));
    if (slot.device) return fail(PassThruError::device_in_use());
    std::unique_ptr<Device> device = make_device();
    Result<std::uint32_t> id = device->open(0);
    if (id) {
        slot.device = std::move(device);
        slot.config.publish(slot.device->config_store());
    }
    return id;
}

void report_fault(const std::string& message) {
    log_line("[j2534] PassThruOpen PANIC " + message);
    last_error::store("panic: " + message);
}

}  // namespace

std::uint32_t passthru_open(void*, std::uint32_t* device_id) {
    if (device_id == nullptr) return ERR_NULL_PARAMETER;
    return shielded([&] {
        const auto outcome =
            contain_faults([]() -> std::optional<Result<std::uint32_t>> { return open_into_slot(); },
                           [](const std::exception* fault) -> std::optional<Result<std::uint32_t>> {
                               report_fault(fault != nullptr ? fault->what() : "unknown panic payload");
                               return std::nullopt;
                           });
        if (!outcome) return ERR_FAILED;
        // A second open leaves LastError as it was.
        if (!*outcome && outcome->error().kind() == PassThruError::Kind::DeviceInUse) {
            log_line("[j2534] PassThruOpen ERR " + outcome->error().message());
            return outcome->error().status();
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

std::uint32_t passthru_close(std::uint32_t device_id) {
    return shielded([&] {
        return run_on_device(
            [&](std::unique_ptr<Device>& device) {
                VoidResult closed = device->close(device_id);
                if (closed) {
                    device.reset();
                    device_slot().config.publish(nullptr);
                }
                return closed;
            },
            [&] {
                log_line("[j2534] PassThruClose OK id=" + dec(device_id));
                return STATUS_NOERROR;
            },
            [&] { return "[j2534] PassThruClose ERR id=" + dec(device_id); });
    });
}

std::uint32_t passthru_connect(std::uint32_t device_id, std::uint32_t protocol_id, std::uint32_t flags,
                               std::uint32_t baud_rate, std::uint32_t* channel_id) {
    if (channel_id == nullptr) return ERR_NULL_PARAMETER;
    return shielded([&] {
        const auto args = [&] {
            return "proto=" + dec(protocol_id) + " flags=" + text::hex_prefixed(flags) + " baud=" + dec(baud_rate);
        };
        return run_on_device(
            [&](std::unique_ptr<Device>& device) { return device->connect(device_id, protocol_id, flags, baud_rate); },
            [&](std::uint32_t channel) {
                log_line("[j2534] PassThruConnect OK " + args() + " ch=" + dec(channel));
                *channel_id = channel;
                return STATUS_NOERROR;
            },
            [&] { return "[j2534] PassThruConnect ERR " + args(); });
    });
}

std::uint32_t passthru_disconnect(std::uint32_t channel_id) {
    return shielded([&] {
        return run_on_device([&](std::unique_ptr<Device>& device) { return device->disconnect(channel_id); },
                             [&] {
                                 log_line("[j2534] PassThruDisconnect OK ch=" + dec(channel_id));
                                 return STATUS_NOERROR;
                             },
                             [&] { return "[j2534] PassThruDisconnect ERR ch=" + dec(channel_id); });
    });
}

std::uint32_t passthru_read_version(std::uint32_t device_id, char* firmware, char* dll, char* api) {
    if (firmware == nullptr || dll == nullptr || api == nullptr) return ERR_NULL_PARAMETER;
    return shielded([&] {
        return run_on_device([&](std::unique_ptr<Device>& device) { return device->read_version(device_id); },
                             [&](const VersionInfo& version) {
                                 write_text_buffer(version.firmware, firmware);
                                 write_text_buffer(version.library, dll);
                                 write_text_buffer(version.api, api);
                                 return STATUS_NOERROR;
                             },
                             NoFailureLine{});
    });
}

std::uint32_t passthru_set_programming_voltage(std::uint32_t device_id, std::uint32_t pin, std::uint32_t voltage) {
    return shielded([&] {
        const PinSelector pins = pin;
        return run_on_device(
            [&](std::unique_ptr<Device>& device) { return device->set_programming_voltage(device_id, pins, voltage); },
            [] { return STATUS_NOERROR; }, NoFailureLine{});
    });
}

std::uint32_t passthru_get_last_error(char* description) {
    if (description == nullptr) return ERR_NULL_PARAMETER;
    return shielded([&] {
        // A broken LastError lock reads as an empty text, never as a failure.
        write_text_buffer(last_error::copy().value_or(std::string()), description);
        return STATUS_NOERROR;
    });
}

}  // namespace vexo::api
