#pragma once

#include <libusb.h>

#include <cstdint>
#include <optional>

namespace vexo::tactrix {

struct EndpointPair {
    std::uint8_t in_endpoint = 0;   // bit 7 set
    std::uint8_t out_endpoint = 0;  // bit 7 clear
    friend bool operator==(const EndpointPair&, const EndpointPair&) = default;
};

// The first bulk IN/OUT pair that one alternate setting 0 holds by itself, in descriptor
// order. Candidates never carry over between settings; an interface without alternate
// settings ends the search.
std::optional<EndpointPair> find_bulk_endpoint_pair(const libusb_config_descriptor& config);

}  // namespace vexo::tactrix
