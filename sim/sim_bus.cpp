#include "sim/sim_bus.h"

namespace vexo::sim {

Bus& bus() {
    static Bus* const state = new Bus;
    return *state;
}

void record_call(Bus& state, std::string call) { state.calls.push_back(std::move(call)); }

namespace {
std::string hex(unsigned value, int digits) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string text = "0x";
    for (int shift = (digits - 1) * 4; shift >= 0; shift -= 4) text.push_back(kDigits[(value >> shift) & 0xF]);
    return text;
}
}  // namespace

std::string call_text(std::string_view name, std::initializer_list<std::string> args) {
    std::string text(name);
    text.push_back('(');
    for (const auto& arg : args) {
        if (text.back() != '(') text.push_back(',');
        text.append(arg);
    }
    text.push_back(')');
    return text;
}

std::string hex16(unsigned value) { return hex(value, 4); }
std::string hex8(unsigned value) { return hex(value, 2); }

}  // namespace vexo::sim
