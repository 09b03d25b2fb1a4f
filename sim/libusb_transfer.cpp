// Synchronous bulk transfers of the simulated libusb, carried by the device's CableLink.
#include <algorithm>
#include <chrono>

#include "core/text_format.h"
#include "sim/sim_bus.h"

using vexo::sim::Bus;
using vexo::sim::bus;
using vexo::sim::CableLink;
using vexo::sim::record_call;
using vexo::sim::SimConfigLayout;
using vexo::sim::TransferFault;

namespace {

bool has_endpoint(const SimConfigLayout& layout, unsigned char address) {
    for (const auto& iface : layout) {
        for (const auto& setting : iface.alt_settings) {
            for (const auto& endpoint : setting.endpoints) {
                if (endpoint.address == address) return true;
            }
        }
    }
    return false;
}

// libusb reads a time-out of 0 as no limit; a year stands in for that without overflow.
std::chrono::steady_clock::time_point deadline_after(unsigned int timeout_ms) {
    const auto now = std::chrono::steady_clock::now();
    if (timeout_ms == 0) return now + std::chrono::hours(24 * 365);
    return now + std::chrono::milliseconds(timeout_ms);
}

}  // namespace

extern "C" {

int LIBUSB_CALL libusb_bulk_transfer(libusb_device_handle* handle, unsigned char endpoint, unsigned char* data,
                                     int length, int* transferred, unsigned int timeout_ms) {
    const auto deadline = deadline_after(timeout_ms);
    const bool is_in = (endpoint & LIBUSB_ENDPOINT_IN) != 0;
    if (transferred != nullptr) *transferred = 0;

    Bus& state = bus();
    std::shared_ptr<CableLink> link;
    std::optional<TransferFault> fault;
    std::size_t limit = static_cast<std::size_t>(std::max(length, 0));
    {
        std::lock_guard lock(state.mutex);
        record_call(state,
                    vexo::sim::call_text("libusb_bulk_transfer", {vexo::text::hex_prefixed(endpoint, 2),
                                                                  std::to_string(length), std::to_string(timeout_ms)}));
        if (const auto due = vexo::sim::take_due_fault(state)) state.transfer_faults.push_front(*due);
        const auto& sim = *handle->device->sim;
        if (sim.unplugged) return LIBUSB_ERROR_NO_DEVICE;
        if (length < 0 || transferred == nullptr) return LIBUSB_ERROR_INVALID_PARAM;
        if (!has_endpoint(sim.layout, endpoint)) return LIBUSB_ERROR_NOT_FOUND;
        if (!state.transfer_faults.empty()) {
            fault = state.transfer_faults.front();
            state.transfer_faults.pop_front();
            limit = std::min(limit, fault->after_bytes);
        }
        if (is_in && state.read_chunk != 0) limit = std::min(limit, state.read_chunk);
        if (!is_in && state.write_limit) limit = std::min(limit, *state.write_limit);
        link = sim.link;
    }

    std::size_t moved = 0;
    if (is_in) {
        if (limit > 0) moved = link->host_read(std::span(data, limit), deadline);
    } else if (limit > 0) {
        link->host_wrote(std::span<const std::uint8_t>(data, limit));
        std::lock_guard lock(state.mutex);
        state.written.insert(state.written.end(), data, data + limit);
        moved = limit;
    }
    *transferred = static_cast<int>(moved);
    if (fault) return fault->code;
    if (is_in && moved == 0 && length > 0) return LIBUSB_ERROR_TIMEOUT;
    return LIBUSB_SUCCESS;
}

}  // extern "C"
