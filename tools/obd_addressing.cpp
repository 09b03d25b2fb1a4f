#include "obd_addressing.h"

#include "core/text_format.h"

namespace vexo::tools {

namespace {

constexpr std::uint32_t kBaseRate = 500000;
constexpr std::uint32_t kSlowRate = 250000;

}  // namespace

std::string setup_text(const CanSetup& setup) {
    const std::uint32_t kbit = setup.baud / 1000;
    const std::string rate = setup.baud % 1000 == 0 ? std::to_string(kbit) + " kbit/s" : std::to_string(setup.baud) + " bit/s";
    return rate + (setup.extended ? ", 29-bit IDs" : ", 11-bit IDs");
}

std::vector<CanSetup> setups_to_try(const CanSetup& first) {
    std::vector<CanSetup> setups{first};
    for (const std::uint32_t baud : {kBaseRate, kSlowRate}) {
        for (const bool extended : {false, true}) {
            const CanSetup setup{baud, extended};
            if (setup != first) setups.push_back(setup);
        }
    }
    return setups;
}

std::uint32_t functional_request_id(bool extended) { return extended ? 0x18DB33F1 : 0x7DF; }

bool is_functional_request_id(std::uint32_t id) {
    return id == functional_request_id(false) || id == functional_request_id(true);
}

std::uint32_t physical_request_id(std::uint32_t response_id, bool extended) {
    if (!extended) return response_id - 8;
    return (response_id & 0x1FFF0000u) | ((response_id & 0xFFu) << 8) | ((response_id >> 8) & 0xFFu);
}

std::uint32_t response_id_mask(bool extended) { return extended ? 0x1FFFFF00 : 0x7F8; }
std::uint32_t response_id_pattern(bool extended) { return extended ? 0x18DAF100 : 0x7E8; }

bool is_obd_response_id(std::uint32_t id, bool extended) {
    return (id & response_id_mask(extended)) == response_id_pattern(extended);
}

std::string ecu_label(std::uint32_t response_id, bool extended) {
    return text::hex_upper(response_id, extended ? 8 : 3);
}

}  // namespace vexo::tools
