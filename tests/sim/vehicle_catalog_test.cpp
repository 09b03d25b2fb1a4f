#include "sim/vehicle_catalog.h"

#include <gtest/gtest.h>

#include "tests/sim/vehicle_host.h"

namespace vexo::sim {
namespace {

using testing::can_message;
using testing::Host;

Bytes concat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& part : parts) append(out, part);
    return out;
}

TEST(VehicleCatalogTest, NamesInstallTheirVehicles) {
    CableFirmware cable;
    Host host(cable);
    host.send("ato4 0 10400 0\r\nato5 0 500000 0\r\n");
    host.take();

    ASSERT_TRUE(install_vehicle(cable, "demo"));
    EXPECT_EQ(cable.deliver_can(5, 0x123, Bytes{0x01}), Delivery::Filtered);  // filters decide now
    host.send("atr 16\r\naty4 3 0\r\n", Bytes{0x81, 0x10, 0xF1});             // addressed, but no service byte
    auto frames = host.take();
    ASSERT_EQ(frames.size(), 2u);
    EXPECT_EQ(frames[0].text, "arr16 12600");
    EXPECT_EQ(frames[1].text, "ary4 0");

    ASSERT_TRUE(install_vehicle(cable, "none"));
    EXPECT_EQ(cable.deliver_can(5, 0x123, Bytes{0x01}), Delivery::Delivered);
    host.take();
    host.send("aty4 0 0\r\n");
    frames = host.take();
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0].payload, (Bytes{0x83, 0xF1, 0x10, 0xC1, 0xEF, 0x8F, 0xC3}));  // the cable's own reply

    for (const char* unknown : {"car", "busload:", "busload:0", "busload:12x", "busload:-5", "demo2", "demo-29",
                                "demo-500k", "demo-29bit-250k"}) {
        EXPECT_FALSE(install_vehicle(cable, unknown)) << unknown;
        EXPECT_EQ(cable.deliver_can(5, 0x123, Bytes{0x01}), Delivery::Delivered) << unknown;
    }
    host.take();

    ASSERT_TRUE(install_vehicle(cable, "busload:max"));
    host.send("atf5 1 64 4\r\n", Bytes{0, 0, 0, 0, 0, 0, 0, 0});
    std::uint8_t buffer[64];
    std::string out;
    const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (out.find("ar5\x11\x40", 0) == std::string::npos && std::chrono::steady_clock::now() < give_up) {
        const std::size_t n = cable.host_read(buffer, std::chrono::steady_clock::now() + std::chrono::milliseconds(50));
        out.append(reinterpret_cast<const char*>(buffer), n);
    }
    EXPECT_NE(out.find("ar5\x11\x40"), std::string::npos);
    ASSERT_TRUE(install_vehicle(cable, "demo"));  // the bus load goes
}

TEST(VehicleCatalogTest, DemoVariantsPutTheCarOnTheirBus) {
    struct Variant {
        const char* name;
        std::uint32_t baud;
        std::uint32_t flags;
        std::uint32_t functional_id;
        std::uint32_t engine_id;
    };
    for (const Variant& v : {Variant{"demo", 500000, 64, 0x7DF, 0x7E8}, Variant{"demo-250k", 250000, 64, 0x7DF, 0x7E8},
                             Variant{"demo-29bit", 500000, 64 | 0x100, 0x18DB33F1, 0x18DAF110},
                             Variant{"demo-250k-29bit", 250000, 64 | 0x100, 0x18DB33F1, 0x18DAF110}}) {
        CableFirmware cable;
        Host host(cable);
        ASSERT_TRUE(known_vehicle(v.name)) << v.name;
        ASSERT_TRUE(install_vehicle(cable, v.name)) << v.name;
        host.send("ato6 0 " + std::to_string(v.baud) + " 0\r\n");
        host.send("atf6 1 64 4\r\n", concat({Bytes{0xFF, 0xFF, 0xFF, 0xFF}, can_message(v.engine_id, {})}));
        host.take();
        EXPECT_EQ(host.transmit(6, can_message(v.functional_id, {0x01, 0x1C}), v.flags),
                  (std::vector<Bytes>{can_message(v.engine_id, {0x41, 0x1C, 0x03})}))
            << v.name;
        host.send("atr 16\r\n");
        EXPECT_EQ(host.take().at(0).text, "arr16 12600") << v.name;
    }
}

TEST(VehicleCatalogTest, EveryListedNameIsKnown) {
    std::string_view names = vehicle_names;
    while (!names.empty()) {
        const std::size_t comma = names.find(", ");
        std::string name(names.substr(0, comma));
        names = comma == std::string_view::npos ? std::string_view{} : names.substr(comma + 2);
        if (name == "busload:N") name = "busload:20";
        EXPECT_TRUE(known_vehicle(name)) << name;
    }
    EXPECT_FALSE(known_vehicle("busload:N"));
}

}  // namespace
}  // namespace vexo::sim
