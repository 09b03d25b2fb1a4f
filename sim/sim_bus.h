#pragma once

// The state behind the simulated libusb: one bus per process, guarded by one mutex.

#include <libusb.h>

#include <deque>
#include <initializer_list>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "sim/sim_control.h"

namespace vexo::sim {

struct SimDevice {
    std::uint16_t vendor_id = 0;
    std::uint16_t product_id = 0;
    std::uint8_t bus_number = 1;
    std::uint8_t address = 0;
    SimConfigLayout layout;
    std::shared_ptr<CableLink> link;
    bool unplugged = false;
    int descriptor_fault = 0;
    std::map<int, const libusb_device_handle*> claims;  // interface -> claiming handle
};

struct TransferFault {
    int code = 0;
    std::size_t after_bytes = 0;
};

// A fault armed for one call by its position in the call record.
struct CallFault {
    std::size_t calls_before = 0;  // calls still to pass untouched
    TransferFault fault;           // code 0: the cable is unplugged at that call
};

// A configuration descriptor handed out, with the storage its pointers refer to.
struct OwnedConfig {
    libusb_config_descriptor config{};
    std::vector<libusb_interface> interfaces;
    std::vector<std::vector<libusb_interface_descriptor>> settings;
    std::vector<std::vector<std::vector<libusb_endpoint_descriptor>>> endpoints;
};

struct Bus {
    std::mutex mutex;
    std::vector<std::shared_ptr<SimDevice>> devices;
    std::uint8_t next_address = 2;

    std::size_t read_chunk = 0;
    std::optional<std::size_t> write_limit;
    std::deque<TransferFault> transfer_faults;
    int init_fault = 0;
    int device_list_fault = 0;
    int claim_fault = 0;
    int release_fault = 0;
    int config_descriptor_fault = 0;
    bool open_fault = false;
    std::optional<CallFault> call_fault;
    // The armed fault, due for the call being recorded; calls that can fail take it.
    std::optional<TransferFault> due_fault;

    std::vector<std::string> calls;
    std::vector<std::uint8_t> written;

    std::size_t live_contexts = 0;
    std::size_t live_handles = 0;
    std::size_t live_devices = 0;
    std::map<const libusb_config_descriptor*, std::unique_ptr<OwnedConfig>> configs;

    std::string vehicle;
};

// Never destroyed, so calls from other threads during process exit stay safe.
Bus& bus();

// Appends to the call record and makes an armed call fault due when its turn has come; the
// caller holds bus().mutex.
void record_call(Bus& state, std::string call);
// The fault due for the call just recorded, if any; it is then spent.
std::optional<TransferFault> take_due_fault(Bus& state);

// "name(arg,arg)", as the call record shows a call.
std::string call_text(std::string_view name, std::initializer_list<std::string> args);

}  // namespace vexo::sim

struct libusb_context {
    int unused = 0;
};

struct libusb_device {
    std::shared_ptr<vexo::sim::SimDevice> sim;
    int references = 1;
};

struct libusb_device_handle {
    libusb_device* device = nullptr;
    std::set<int> claimed;
};
