#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

// How OBD-II testers and ECUs address each other on CAN (ISO 15765-4): a functional request ID that
// every emissions ECU hears, and per ECU a response ID from which its physical request ID follows.
// 11-bit: 7DF to all, 7E0..7E7 to one, 7E8..7EF back. 29-bit: 18DB33F1 to all, 18DAxxF1 to ECU xx,
// 18DAF1xx back.
namespace vexo::tools {

struct CanSetup {
    std::uint32_t baud;
    bool extended;  // 29-bit identifiers
    bool operator==(const CanSetup&) const = default;
};

// "500 kbit/s, 11-bit IDs"
std::string setup_text(const CanSetup& setup);

// The set-ups OBD-II vehicles use, `first` first and then the others: 500 and 250 kbit/s, 11- and 29-bit.
std::vector<CanSetup> setups_to_try(const CanSetup& first);

std::uint32_t functional_request_id(bool extended);
// 7DF or 18DB33F1: a request to every ECU.
bool is_functional_request_id(std::uint32_t id);
// The physical request ID of the ECU that answers from `response_id`.
std::uint32_t physical_request_id(std::uint32_t response_id, bool extended);
// Mask and pattern that every OBD response ID matches.
std::uint32_t response_id_mask(bool extended);
std::uint32_t response_id_pattern(bool extended);
bool is_obd_response_id(std::uint32_t id, bool extended);

// An ECU's response ID as the user reads it: "7E8", "18DAF110".
std::string ecu_label(std::uint32_t response_id, bool extended);

}  // namespace vexo::tools
