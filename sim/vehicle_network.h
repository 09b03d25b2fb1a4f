#pragma once

#include <memory>
#include <vector>

#include "sim/cable_vehicle_side.h"

namespace vexo::sim {

// Several ECUs behind one cable: each hears everything the cable does, in the order they
// were given; the first that answers a fast initialisation answers it.
class VehicleNetwork final : public VehicleSide {
public:
    explicit VehicleNetwork(std::vector<std::shared_ptr<VehicleSide>> members);

    void on_channel_opened(std::uint8_t channel, std::uint32_t flags, std::uint32_t baud) override;
    void on_channel_closed(std::uint8_t channel) override;
    void on_transmit(const Transmission& message) override;
    void on_filter(std::uint8_t channel, const CableFilter& filter) override;
    void on_config(std::uint8_t channel, std::uint32_t parameter, std::uint32_t value) override;
    std::optional<std::vector<std::uint8_t>> on_fast_init(std::uint8_t channel,
                                                          std::span<const std::uint8_t> request) override;

private:
    const std::vector<std::shared_ptr<VehicleSide>> members_;
};

}  // namespace vexo::sim
