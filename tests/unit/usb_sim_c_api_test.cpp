#include <gtest/gtest.h>
#include <libusb.h>

#include <string>

#include "sim/vexo_sim_api.h"
#include "tests/unit/usb_sim_fixture.h"

namespace vexo::tactrix {
namespace {

using namespace std::chrono_literals;

// Tools in other processes drive the simulated cable only through these C functions.
using UsbSimCApi = UsbSimTest;

TEST_F(UsbSimCApi, ScriptsACableAndReportsWhatTheHostDid) {
    vexo_sim_reset();
    EXPECT_EQ(vexo_sim_attach_cables(2), 0u);
    EXPECT_EQ(vexo_sim_set_layout(0, VEXO_SIM_LAYOUT_TWO_BULK_INS), 0);
    EXPECT_EQ(vexo_sim_set_layout(0, 99), -1);
    EXPECT_EQ(vexo_sim_push_read_bytes(0, nullptr, 0), -1);
    vexo_sim_use_scripted_link(0);
    const auto reply = bytes_of("aro\r\n");
    ASSERT_EQ(vexo_sim_push_read_bytes(0, reply.data(), reply.size()), 0);

    UsbTransport transport = open_cable();
    std::uint8_t buffer[16];
    ASSERT_EQ(bulk_read(transport, buffer, 1s), 5u);
    EXPECT_EQ(std::string(buffer, buffer + 5), "aro\r\n");
    ASSERT_EQ(bulk_write(transport, bytes_of("atz\r\n"), 1s), 5u);

    std::uint8_t written[3];
    EXPECT_EQ(vexo_sim_written_bytes(written, sizeof written), 5u);
    EXPECT_EQ(std::string(written, written + 3), "atz");

    const std::string record = "libusb_bulk_transfer(0x81,16,1000)\nlibusb_bulk_transfer(0x02,5,1000)\n";
    char text[128];
    EXPECT_EQ(vexo_sim_calls(text, sizeof text), record.size());
    EXPECT_EQ(std::string(text), record);
    char cut[11];
    vexo_sim_calls(cut, sizeof cut);
    EXPECT_EQ(std::string(cut), "libusb_bul");
    EXPECT_EQ(vexo_sim_call_count("libusb_bulk_transfer(0x81"), 1u);
}

TEST_F(UsbSimCApi, FaultsReachTheTransport) {
    vexo_sim_attach_cables(1);
    vexo_sim_fail_claim_interface(LIBUSB_ERROR_ACCESS);
    EXPECT_EQ(open_usb(kTactrixVendorId, kTactrixProductId).error(), TransportError::io(UsbErrorKind::Access));
    vexo_sim_fail_claim_interface(0);

    UsbTransport transport = open_cable();
    vexo_sim_set_write_limit(2);
    EXPECT_EQ(bulk_write(transport, bytes_of("ati\r\n"), 1s), 2u);
    vexo_sim_set_write_limit(-1);
    EXPECT_EQ(bulk_write(transport, bytes_of("ati\r\n"), 1s), 5u);
    vexo_sim_fail_next_transfer(LIBUSB_ERROR_OVERFLOW, 0);
    EXPECT_EQ(bulk_write(transport, bytes_of("ati\r\n"), 1s).error(), TransportError::io(UsbErrorKind::Overflow));
}

// The cable's answer to a fast init with a request no K-line ECU wakes up to.
std::string fast_init_answer(UsbTransport& transport) {
    auto command = bytes_of("aty4 4 0\r\n");
    command.insert(command.end(), {0x81, 0x10, 0xF1, 0x3E});
    EXPECT_EQ(bulk_write(transport, command, 1s), command.size());
    std::string answer;
    std::uint8_t buffer[64];
    // "ary4 <n>\r\n" and its n raw bytes arrive as one run.
    if (const auto n = bulk_read(transport, buffer, 1s)) answer.assign(buffer, buffer + *n);
    return answer;
}

TEST_F(UsbSimCApi, VehicleByNameReachesCablesAttachedBeforeAndAfter) {
    EXPECT_EQ(vexo_sim_set_vehicle("nope"), -1);
    EXPECT_EQ(vexo_sim_set_vehicle("busload:fast"), -1);
    vexo_sim_attach_cables(1);
    {
        UsbTransport transport = open_cable();
        ASSERT_EQ(bulk_write(transport, bytes_of("ato4 0 10400 0\r\n"), 1s), 16u);
        std::uint8_t ack[16];
        ASSERT_EQ(bulk_read(transport, ack, 1s), 6u);
        EXPECT_EQ(fast_init_answer(transport), "ary4 7\r\n\x83\xF1\x10\xC1\xEF\x8F\xC3");  // no vehicle yet

        ASSERT_EQ(vexo_sim_set_vehicle("demo"), 0);
        EXPECT_EQ(fast_init_answer(transport), "ary4 0\r\n");  // the demo ECU stays asleep
    }
    vexo_sim_reset();
    ASSERT_EQ(vexo_sim_set_vehicle("demo"), 0);
    vexo_sim_attach_cables(1);
    UsbTransport transport = open_cable();
    ASSERT_EQ(bulk_write(transport, bytes_of("ato4 0 10400 0\r\n"), 1s), 16u);
    std::uint8_t ack[16];
    ASSERT_EQ(bulk_read(transport, ack, 1s), 6u);
    EXPECT_EQ(fast_init_answer(transport), "ary4 0\r\n");
    EXPECT_EQ(vexo_sim_set_vehicle("none"), 0);
    EXPECT_EQ(fast_init_answer(transport).size(), 15u);
}

}  // namespace
}  // namespace vexo::tactrix
