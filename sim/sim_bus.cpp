#include "sim/sim_bus.h"

#include <utility>

namespace vexo::sim {

Bus& bus() {
    static Bus* const state = new Bus;
    return *state;
}

void record_call(Bus& state, std::string call) {
    state.calls.push_back(std::move(call));
    state.due_fault.reset();  // a call that cannot fail let its turn pass
    if (!state.call_fault) return;
    if (state.call_fault->calls_before > 0) {
        --state.call_fault->calls_before;
        return;
    }
    const TransferFault fault = state.call_fault->fault;
    state.call_fault.reset();
    if (fault.code == 0) {
        for (const auto& device : state.devices) device->unplugged = true;
    } else {
        state.due_fault = fault;
    }
}

std::optional<TransferFault> take_due_fault(Bus& state) { return std::exchange(state.due_fault, std::nullopt); }

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
