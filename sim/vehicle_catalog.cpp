#include "sim/vehicle_catalog.h"

#include <array>
#include <charconv>
#include <optional>

#include "sim/vehicle_bus_load.h"

namespace vexo::sim {

namespace {

constexpr std::string_view busload_prefix = "busload:";

// "max" is 0, the source's flat-out rate; a number must be a positive decimal.
std::optional<std::uint32_t> frames_per_second(std::string_view text) {
    if (text == "max") return 0;
    std::uint32_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc{} || end != text.data() + text.size() || value == 0) return std::nullopt;
    return value;
}

struct DemoVariant {
    std::string_view name;
    DemoBus bus;
};

constexpr std::array<DemoVariant, 4> demo_variants{{
    {"demo", {}},
    {"demo-250k", {.bit_rate = 250'000}},
    {"demo-29bit", {.extended_ids = true}},
    {"demo-250k-29bit", {.bit_rate = 250'000, .extended_ids = true}},
}};

std::optional<DemoBus> demo_bus(std::string_view name) {
    for (const DemoVariant& variant : demo_variants)
        if (variant.name == name) return variant.bus;
    return std::nullopt;
}

// Where one of the demo car's CAN ECUs listens: its 11-bit request ID, answered from 8
// above, and its address under 29-bit normal fixed addressing.
struct DemoEcuAddress {
    std::uint32_t request_11bit;
    std::uint8_t address_29bit;
};

constexpr DemoEcuAddress engine_address{0x7E0, 0x10};
constexpr DemoEcuAddress transmission_address{0x7E1, 0x18};
constexpr std::uint32_t functional_11bit = 0x7DF;
constexpr std::uint32_t functional_29bit = 0x18DB33F1;  // every OBD ECU (33), from the tester
constexpr std::uint8_t tester_address = 0xF1;

constexpr std::uint32_t physical_29bit(std::uint8_t target, std::uint8_t source) {
    return 0x18DA0000u | std::uint32_t{target} << 8 | source;
}

CanEcu::Settings on_bus(CanEcu::Settings settings, DemoEcuAddress at, DemoBus bus) {
    settings.bit_rate = bus.bit_rate;
    settings.extended_ids = bus.extended_ids;
    if (bus.extended_ids) {
        settings.request_id = physical_29bit(at.address_29bit, tester_address);
        settings.response_id = physical_29bit(tester_address, at.address_29bit);
        settings.functional_id = functional_29bit;
    } else {
        settings.request_id = at.request_11bit;
        settings.response_id = at.request_11bit + 8;
        settings.functional_id = functional_11bit;
    }
    return settings;
}

CanEcu::Settings transmission_settings() {
    CanEcu::Settings settings;
    settings.serial_number = "VX-TCM-0001138";
    settings.dtcs = {0x0730};  // P0730, incorrect gear ratio
    settings.pending_dtcs = {};
    settings.profile = transmission_obd_profile;
    return settings;
}

void install_no_vehicle(CableFirmware& cable) {
    cable.detach_traffic();
    cable.set_vehicle(nullptr);
    cable.set_filtering(false);
    cable.set_battery_millivolts(CableFirmware::default_battery_millivolts);
    cable.set_fast_init_response(
        {CableFirmware::default_fast_init_response.begin(), CableFirmware::default_fast_init_response.end()});
}

}  // namespace

bool known_vehicle(std::string_view name) {
    return name.empty() || name == "none" || demo_bus(name) ||
           (name.starts_with(busload_prefix) && frames_per_second(name.substr(busload_prefix.size())));
}

bool install_vehicle(CableFirmware& cable, std::string_view name) {
    if (name.empty() || name == "none") {
        install_no_vehicle(cable);
        return true;
    }
    if (const auto bus = demo_bus(name)) {
        install_demo_vehicle(cable, *bus);
        // A car's bus is never silent: a first `vexo monitor` should show frames.
        BusLoadSettings background;
        background.first_id = 0x200;
        background.id_count = 4;
        background.frames_per_second = 20;
        cable.attach_traffic(std::make_unique<BusLoadSource>(background));
        return true;
    }
    if (name.starts_with(busload_prefix)) {
        const auto rate = frames_per_second(name.substr(busload_prefix.size()));
        if (!rate) return false;
        install_demo_vehicle(cable);
        BusLoadSettings settings;
        settings.frames_per_second = *rate;
        cable.attach_traffic(std::make_unique<BusLoadSource>(settings));
        return true;
    }
    return false;
}

DemoVehicle install_demo_vehicle(CableFirmware& cable, DemoBus bus) {
    DemoVehicle demo{std::make_shared<CanEcu>(cable, on_bus({}, engine_address, bus)),
                     std::make_shared<CanEcu>(cable, on_bus(transmission_settings(), transmission_address, bus)),
                     std::make_shared<KlineEcu>(cable)};
    cable.set_filtering(true);
    cable.set_battery_millivolts(12600);
    // Without a K-line ECU that wakes, a fast initialisation gets no answer at all.
    cable.set_fast_init_response({});
    cable.set_vehicle(std::make_shared<VehicleNetwork>(
        std::vector<std::shared_ptr<VehicleSide>>{demo.engine, demo.transmission, demo.kline}));
    return demo;
}

VehicleNetwork::VehicleNetwork(std::vector<std::shared_ptr<VehicleSide>> members) : members_(std::move(members)) {}

void VehicleNetwork::on_channel_opened(std::uint8_t channel, std::uint32_t flags, std::uint32_t baud) {
    for (const auto& member : members_) member->on_channel_opened(channel, flags, baud);
}

void VehicleNetwork::on_channel_closed(std::uint8_t channel) {
    for (const auto& member : members_) member->on_channel_closed(channel);
}

void VehicleNetwork::on_transmit_start(const Transmission& message) {
    for (const auto& member : members_) member->on_transmit_start(message);
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
