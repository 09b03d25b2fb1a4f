#pragma once

// Test control of the simulated libusb: which devices are attached, what their descriptors
// say, which calls fail, and a record of everything the host did. All functions are
// thread-safe; reset() returns to an empty bus.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "sim/cable_link.h"

namespace vexo::sim {

inline constexpr std::uint16_t kCableVendorId = 0x0403;
inline constexpr std::uint16_t kCableProductId = 0xCC4D;

inline constexpr std::uint8_t kBulk = 0x02;
inline constexpr std::uint8_t kInterrupt = 0x03;

struct SimEndpoint {
    std::uint8_t address = 0;     // bit 7 set for IN
    std::uint8_t attributes = 0;  // transfer type in bits 0-1
};
struct SimAltSetting {
    std::uint8_t alternate_setting = 0;
    std::vector<SimEndpoint> endpoints;
};
struct SimInterface {
    std::vector<SimAltSetting> alt_settings;
};
// The interfaces of configuration 1, in descriptor order (interface n at index n).
using SimConfigLayout = std::vector<SimInterface>;

namespace layouts {
// Interface 0 without endpoints; interface 1 alt 0 with bulk IN 0x81 and bulk OUT 0x02.
SimConfigLayout standard();
// Interface 0 alt 0 with interrupt IN 0x83 and OUT 0x04; interface 1 as standard.
SimConfigLayout interrupt_only_interface0();
// Interface 1 alt 0 with bulk IN 0x81, bulk IN 0x83, bulk OUT 0x02.
SimConfigLayout two_bulk_ins();
// Interface 0 alt 0 with only bulk IN 0x81; interface 1 alt 0 with only bulk OUT 0x02.
SimConfigLayout in_and_out_on_different_interfaces();
// Both interfaces with interrupt endpoints only.
SimConfigLayout no_bulk_pair();
}  // namespace layouts

// Empty bus, no faults, empty records. Handles still open stay usable.
void reset();

// For programs that know nothing of these controls: at the first libusb_init, unless a control was
// used before, VEXO_SIM_VEHICLE picks the vehicle (default demo) and VEXO_SIM_CABLES attaches that
// many cables (default 1 when only the vehicle is named). Neither set: the bus stays empty.
void apply_environment_unless_controlled();

// Appends cables (0403:cc4d, standard layout), each a CableFirmware with the vehicle set.
// Returns the index of the first one added.
unsigned attach_cables(unsigned count);
// Appends a device with another identity, standard layout and a silent link.
unsigned attach_device(std::uint16_t vendor_id, std::uint16_t product_id);
std::size_t attached_devices();
void install_link(unsigned device, std::shared_ptr<CableLink> link);
// The device's link (its firmware model unless replaced); null for an unknown device.
std::shared_ptr<CableLink> link_of(unsigned device);
void set_layout(unsigned device, SimConfigLayout layout);
// Every later transfer on this device fails with LIBUSB_ERROR_NO_DEVICE.
void unplug(unsigned device);
// Called, without the bus locked, after reset(), attach_*() and unplug() changed which devices
// are present: for a model that must mirror them elsewhere (the usbfs testbed). One at a time.
void observe_devices(std::function<void()> observer);

// Each IN transfer hands over at most n bytes (0: no limit).
void set_read_chunk(std::size_t n);
// Each OUT transfer accepts at most n bytes, 0 included (nullopt: no limit).
void set_write_limit(std::optional<std::size_t> n);
// The next transfer, of either direction, moves at most after_bytes and returns `code`.
// Queued: several calls fail several transfers in turn.
void fail_next_transfer(int code, std::size_t after_bytes = 0);

// The libusb call `calls_before` calls from now (0: the next one) fails with `code`: a
// transfer after moving at most after_bytes, a call returning a handle with none, a call that
// cannot fail (close, free) not at all. unplug_at_call unplugs every device at that call
// instead. One armed at a time; reset() and clear_call_fault() disarm it.
void fail_call(std::size_t calls_before, int code, std::size_t after_bytes = 0);
void unplug_at_call(std::size_t calls_before);
void clear_call_fault();

// Persistent until reset(): the named call returns `code` (0 clears it).
void fail_init(int code);
void fail_device_list(int code);
void fail_device_descriptor(unsigned device, int code);
void fail_claim_interface(int code);
void fail_release_interface(int code);
void fail_config_descriptor(int code);
// libusb_open and libusb_open_device_with_vid_pid cannot open any device.
void fail_open(bool fail);

// Every byte an OUT transfer accepted, in order.
std::vector<std::uint8_t> written_bytes();
// Every libusb call since reset() or clear_calls(), e.g. "libusb_claim_interface(1)".
std::vector<std::string> calls();
void clear_calls();

// Objects the host has not given back yet.
std::size_t live_contexts();
std::size_t live_handles();
std::size_t live_config_descriptors();
std::size_t live_devices();

// Puts the named vehicle (install_vehicle's names, vehicle_names) behind
// every cable attached and every cable attached later. False for a name it does not know,
// which changes nothing. Until then, and after reset(), the cables have no vehicle.
bool set_vehicle(std::string name);
std::string vehicle();

}  // namespace vexo::sim
