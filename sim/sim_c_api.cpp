// The C controls declared in vexo_sim_api.h, for other processes and for programs that load the
// libusb stand-in at run time: vexo_sim_* drive the simulated bus, vexo_sim_cable_* the firmware
// model of device 0.
#include <algorithm>
#include <cstddef>
#include <cstring>
#include <map>
#include <mutex>
#include <string>

#include "sim/cable_firmware.h"
#include "sim/sim_control.h"
#include "sim/sim_scripted_link.h"
#include "sim/vexo_sim_api.h"

namespace {

using vexo::sim::CableFirmware;

// The C controls' text convention: copy what fits with a NUL, return the whole length so the
// caller can ask again with room enough.
std::size_t copy_text_out(const std::string& text, char* out, std::size_t capacity) {
    if (out != nullptr && capacity > 0) {
        const std::size_t n = std::min(capacity - 1, text.size());
        std::memcpy(out, text.data(), n);
        out[n] = '\0';
    }
    return text.size();
}

// The scripted links this surface installed, so later pushes can reach them.
struct ScriptedLinks {
    std::mutex mutex;
    std::map<unsigned, std::shared_ptr<vexo::sim::ScriptedLink>> by_device;
};

ScriptedLinks& scripted_links() {
    static ScriptedLinks* const links = new ScriptedLinks;
    return *links;
}

std::shared_ptr<CableFirmware> cable() { return std::dynamic_pointer_cast<CableFirmware>(vexo::sim::link_of(0)); }

// Runs `use` on cable 0's firmware: 0, or -1 when there is none.
template <class Use>
int with_cable(Use use) {
    const auto firmware = cable();
    if (!firmware) return -1;
    use(*firmware);
    return 0;
}

std::span<const std::uint8_t> bytes_of(const uint8_t* bytes, size_t count) {
    return bytes == nullptr ? std::span<const std::uint8_t>() : std::span<const std::uint8_t>(bytes, count);
}

}  // namespace

extern "C" {

void vexo_sim_reset(void) {
    vexo::sim::reset();
    ScriptedLinks& links = scripted_links();
    std::lock_guard lock(links.mutex);
    links.by_device.clear();
}

unsigned vexo_sim_attach_cables(unsigned count) { return vexo::sim::attach_cables(count); }

int vexo_sim_set_layout(unsigned device, int layout) {
    using namespace vexo::sim::layouts;
    switch (layout) {
        case VEXO_SIM_LAYOUT_STANDARD: vexo::sim::set_layout(device, standard()); return 0;
        case VEXO_SIM_LAYOUT_INTERRUPT_ONLY_INTERFACE0:
            vexo::sim::set_layout(device, interrupt_only_interface0());
            return 0;
        case VEXO_SIM_LAYOUT_TWO_BULK_INS: vexo::sim::set_layout(device, two_bulk_ins()); return 0;
        case VEXO_SIM_LAYOUT_IN_AND_OUT_ON_DIFFERENT_INTERFACES:
            vexo::sim::set_layout(device, in_and_out_on_different_interfaces());
            return 0;
        case VEXO_SIM_LAYOUT_NO_BULK_PAIR: vexo::sim::set_layout(device, no_bulk_pair()); return 0;
        default: return -1;
    }
}

int vexo_sim_set_vehicle(const char* name) { return vexo::sim::set_vehicle(name != nullptr ? name : "") ? 0 : -1; }

void vexo_sim_unplug(unsigned device) { vexo::sim::unplug(device); }

void vexo_sim_use_scripted_link(unsigned device) {
    auto link = std::make_shared<vexo::sim::ScriptedLink>();
    vexo::sim::install_link(device, link);
    ScriptedLinks& links = scripted_links();
    std::lock_guard lock(links.mutex);
    links.by_device[device] = std::move(link);
}

int vexo_sim_push_read_bytes(unsigned device, const uint8_t* bytes, size_t count) {
    std::shared_ptr<vexo::sim::ScriptedLink> link;
    {
        ScriptedLinks& links = scripted_links();
        std::lock_guard lock(links.mutex);
        const auto found = links.by_device.find(device);
        if (found == links.by_device.end()) return -1;
        link = found->second;
    }
    link->push_output(std::span(bytes, count));
    return 0;
}

void vexo_sim_set_read_chunk(size_t count) { vexo::sim::set_read_chunk(count); }

void vexo_sim_set_write_limit(long long count) {
    vexo::sim::set_write_limit(count < 0 ? std::nullopt : std::optional<std::size_t>(static_cast<std::size_t>(count)));
}

void vexo_sim_fail_next_transfer(int libusb_error, size_t after_bytes) {
    vexo::sim::fail_next_transfer(libusb_error, after_bytes);
}

void vexo_sim_fail_init(int libusb_error) { vexo::sim::fail_init(libusb_error); }
void vexo_sim_fail_claim_interface(int libusb_error) { vexo::sim::fail_claim_interface(libusb_error); }
void vexo_sim_fail_config_descriptor(int libusb_error) { vexo::sim::fail_config_descriptor(libusb_error); }

size_t vexo_sim_written_bytes(uint8_t* out, size_t capacity) {
    const auto written = vexo::sim::written_bytes();
    if (out != nullptr) std::copy_n(written.begin(), std::min(capacity, written.size()), out);
    return written.size();
}

size_t vexo_sim_calls(char* out, size_t capacity) {
    std::string text;
    for (const auto& call : vexo::sim::calls()) {
        text.append(call);
        text.push_back('\n');
    }
    return copy_text_out(text, out, capacity);
}

size_t vexo_sim_call_count(const char* prefix) {
    const std::string_view wanted = prefix != nullptr ? prefix : "";
    const auto calls = vexo::sim::calls();
    return static_cast<size_t>(
        std::count_if(calls.begin(), calls.end(), [&](const std::string& call) { return call.starts_with(wanted); }));
}

int vexo_sim_cable_silence(char letter, unsigned uses) {
    return with_cable([&](CableFirmware& c) { c.silence(letter, uses); });
}

int vexo_sim_cable_reject(char letter, const char* text, unsigned uses) {
    return with_cable([&](CableFirmware& c) { c.reject(letter, text != nullptr ? text : "", uses); });
}

int vexo_sim_cable_inject(const uint8_t* bytes, size_t count) {
    return with_cable([&](CableFirmware& c) { c.inject(bytes_of(bytes, count)); });
}

int vexo_sim_cable_inject_before_next_reply(const uint8_t* bytes, size_t count) {
    return with_cable([&](CableFirmware& c) { c.inject_before_next_reply(bytes_of(bytes, count)); });
}

int vexo_sim_cable_set_identity(const char* text) {
    return with_cable([&](CableFirmware& c) { c.set_identity(text != nullptr ? text : ""); });
}

int vexo_sim_cable_set_battery_mv(uint32_t millivolts) {
    return with_cable([&](CableFirmware& c) { c.set_battery_millivolts(millivolts); });
}

int vexo_sim_cable_set_fast_init_response(const uint8_t* bytes, size_t count) {
    const auto response = bytes_of(bytes, count);
    return with_cable([&](CableFirmware& c) { c.set_fast_init_response({response.begin(), response.end()}); });
}

int vexo_sim_cable_set_filtering(int on) {
    return with_cable([&](CableFirmware& c) { c.set_filtering(on != 0); });
}

int vexo_sim_cable_deliver_can(uint8_t channel, uint32_t can_id, const uint8_t* data, size_t count, uint32_t ts_us) {
    const auto firmware = cable();
    if (!firmware) return -1;
    return static_cast<int>(firmware->deliver_can(channel, can_id, bytes_of(data, count), ts_us));
}

int vexo_sim_cable_deliver_kline(uint8_t channel, const uint8_t* data, size_t count) {
    const auto firmware = cable();
    if (!firmware) return -1;
    return static_cast<int>(firmware->deliver_kline(channel, bytes_of(data, count)));
}

size_t vexo_sim_cable_commands(char* out, size_t capacity) {
    std::string text;
    if (const auto firmware = cable()) {
        for (const auto& command : firmware->commands()) {
            std::string_view line = command.line;
            while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.remove_suffix(1);
            text.append(line);
            text.push_back('\n');
        }
    }
    return copy_text_out(text, out, capacity);
}

}  // extern "C"
