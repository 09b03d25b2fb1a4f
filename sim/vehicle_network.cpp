#include "sim/vehicle_network.h"

namespace vexo::sim {

VehicleNetwork::VehicleNetwork(std::vector<std::shared_ptr<VehicleSide>> members) : members_(std::move(members)) {}

void VehicleNetwork::on_channel_opened(std::uint8_t channel, std::uint32_t flags, std::uint32_t baud) {
    for (const auto& member : members_) member->on_channel_opened(channel, flags, baud);
}

void VehicleNetwork::on_channel_closed(std::uint8_t channel) {
    for (const auto& member : members_) member->on_channel_closed(channel);
}

void VehicleNetwork::on_transmit(const Transmission& message) {
    for (const auto& member : members_) member->on_transmit(message);
}

void VehicleNetwork::on_filter(std::uint8_t channel, const CableFilter& filter) {
    for (const auto& member : members_) member->on_filter(channel, filter);
}

void VehicleNetwork::on_config(std::uint8_t channel, std::uint32_t parameter, std::uint32_t value) {
    for (const auto& member : members_) member->on_config(channel, parameter, value);
}

std::optional<std::vector<std::uint8_t>> VehicleNetwork::on_fast_init(std::uint8_t channel,
                                                                      std::span<const std::uint8_t> request) {
    for (const auto& member : members_)
        if (auto answer = member->on_fast_init(channel, request)) return answer;
    return std::nullopt;
}

}  // namespace vexo::sim
