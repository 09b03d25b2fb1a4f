#include <string>

#include "api/caller_values.h"
#include "api/entry_frame.h"
#include "api/marshalling.h"
#include "core/text_format.h"

namespace vexo::api {

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

}  // namespace vexo::api

using namespace vexo;
using namespace vexo::api;
using text::dec;
using Argument = PassThruError::Argument;

J2534_STATUS J2534_CALL PassThruOpen(void*, J2534_ULONG* pDeviceID) {
    if (pDeviceID == nullptr) return ERR_NULL_PARAMETER;
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
        log_line("[j2534] PassThruOpen OK id=" + dec(**outcome));
        *pDeviceID = **outcome;
        return STATUS_NOERROR;
    });
}

J2534_STATUS J2534_CALL PassThruClose(J2534_ULONG DeviceID) {
    return shielded([&] {
        return run_on_device(
            [&](std::unique_ptr<Device>& device) -> VoidResult {
                const auto id = narrowed(DeviceID, Argument::DeviceId);
                if (!id) return fail(id.error());
                VoidResult closed = device->close(*id);
                if (closed) {
                    device.reset();
                    device_slot().config.publish(nullptr);
                }
                return closed;
            },
            [&] {
                log_line("[j2534] PassThruClose OK id=" + dec(DeviceID));
                return STATUS_NOERROR;
            },
            [&] { return "[j2534] PassThruClose ERR id=" + dec(DeviceID); });
    });
}

J2534_STATUS J2534_CALL PassThruConnect(J2534_ULONG DeviceID, J2534_ULONG ProtocolID, J2534_ULONG Flags,
                                        J2534_ULONG BaudRate, J2534_ULONG* pChannelID) {
    if (pChannelID == nullptr) return ERR_NULL_PARAMETER;
    return shielded([&] {
        const auto args = [&] {
            return "proto=" + dec(ProtocolID) + " flags=" + text::hex_prefixed(Flags) + " baud=" + dec(BaudRate);
        };
        return run_on_device(
            [&](std::unique_ptr<Device>& device) -> Result<std::uint32_t> {
                const auto values = narrowed({{DeviceID, Argument::DeviceId},
                                              {ProtocolID, Argument::ProtocolId},
                                              {Flags, Argument::Flags},
                                              {BaudRate, Argument::BaudRate}});
                if (!values) return fail(values.error());
                const auto [device_id, protocol_id, flags, baud_rate] = *values;
                return device->connect(device_id, protocol_id, flags, baud_rate);
            },
            [&](std::uint32_t channel) {
                log_line("[j2534] PassThruConnect OK " + args() + " ch=" + dec(channel));
                *pChannelID = channel;
                return STATUS_NOERROR;
            },
            [&] { return "[j2534] PassThruConnect ERR " + args(); });
    });
}

J2534_STATUS J2534_CALL PassThruDisconnect(J2534_ULONG ChannelID) {
    return shielded([&] {
        return run_on_device(
            [&](std::unique_ptr<Device>& device) -> VoidResult {
                const auto channel_id = narrowed(ChannelID, Argument::ChannelId);
                if (!channel_id) return fail(channel_id.error());
                return device->disconnect(*channel_id);
            },
            [&] {
                log_line("[j2534] PassThruDisconnect OK ch=" + dec(ChannelID));
                return STATUS_NOERROR;
            },
            [&] { return "[j2534] PassThruDisconnect ERR ch=" + dec(ChannelID); });
    });
}

J2534_STATUS J2534_CALL PassThruReadVersion(J2534_ULONG DeviceID, char* pFirmwareVersion, char* pDllVersion,
                                            char* pApiVersion) {
    if (pFirmwareVersion == nullptr || pDllVersion == nullptr || pApiVersion == nullptr) return ERR_NULL_PARAMETER;
    return shielded([&] {
        return run_on_device(
            [&](std::unique_ptr<Device>& device) -> Result<VersionInfo> {
                const auto device_id = narrowed(DeviceID, Argument::DeviceId);
                if (!device_id) return fail(device_id.error());
                return device->read_version(*device_id);
            },
            [&](const VersionInfo& version) {
                write_text_buffer(version.firmware, pFirmwareVersion);
                write_text_buffer(version.library, pDllVersion);
                write_text_buffer(version.api, pApiVersion);
                return STATUS_NOERROR;
            },
            NoFailureLine{});
    });
}

J2534_STATUS J2534_CALL PassThruSetProgrammingVoltage(J2534_ULONG DeviceID, J2534_ULONG PinNumber,
                                                      J2534_ULONG Voltage) {
    return shielded([&] {
        return run_on_device(
            [&](std::unique_ptr<Device>& device) -> VoidResult {
                const auto values = narrowed(
                    {{DeviceID, Argument::DeviceId}, {PinNumber, Argument::PinNumber}, {Voltage, Argument::Voltage}});
                if (!values) return fail(values.error());
                const auto [device_id, pin, voltage] = *values;
                return device->set_programming_voltage(device_id, PinSelector(pin), voltage);
            },
            [] { return STATUS_NOERROR; }, NoFailureLine{});
    });
}

J2534_STATUS J2534_CALL PassThruGetLastError(char* pErrorDescription) {
    if (pErrorDescription == nullptr) return ERR_NULL_PARAMETER;
    return shielded([&] {
        // A broken LastError lock reads as an empty text, never as a failure.
        write_text_buffer(last_error::copy().value_or(std::string()), pErrorDescription);
        return STATUS_NOERROR;
    });
}
