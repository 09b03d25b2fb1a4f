#include "api/entry_frame.h"
#include "api/entry_points.h"
#include "api/text_output.h"
#include "core/text_format.h"

namespace vexo::api {

using text::dec;

std::uint32_t passthru_close(std::uint32_t device_id) {
    return shielded([&] {
        return run_on_device(
            [&](std::unique_ptr<Device>& device) {
                VoidResult closed = device->close(device_id);
                if (closed) device.reset();
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

}  // namespace vexo::api
