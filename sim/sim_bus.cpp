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

}  // namespace vexo::sim
