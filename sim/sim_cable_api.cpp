// The vexo_sim_cable_* controls: the firmware model of device 0, reached from other processes
// and from programs that loaded the libusb stand-in at run time.
#include <string>

#include "sim/c_text_out.h"
#include "sim/cable_firmware.h"
#include "sim/sim_control.h"
#include "sim/vexo_sim_api.h"

namespace {

using vexo::sim::CableFirmware;

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
    return vexo::sim::copy_text_out(text, out, capacity);
}

}  // extern "C"
