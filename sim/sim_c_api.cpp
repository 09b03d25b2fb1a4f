#include <algorithm>
#include <cstring>
#include <map>
#include <mutex>

#include "sim/c_text_out.h"
#include "sim/sim_control.h"
#include "sim/sim_scripted_link.h"
#include "sim/vexo_sim_api.h"

namespace {

// The scripted links this surface installed, so later pushes can reach them.
struct ScriptedLinks {
    std::mutex mutex;
    std::map<unsigned, std::shared_ptr<vexo::sim::ScriptedLink>> by_device;
};

ScriptedLinks& scripted_links() {
    static ScriptedLinks* const links = new ScriptedLinks;
    return *links;
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
    return vexo::sim::copy_text_out(text, out, capacity);
}

size_t vexo_sim_call_count(const char* prefix) {
    const std::string_view wanted = prefix != nullptr ? prefix : "";
    const auto calls = vexo::sim::calls();
    return static_cast<size_t>(
        std::count_if(calls.begin(), calls.end(), [&](const std::string& call) { return call.starts_with(wanted); }));
}

}  // extern "C"
