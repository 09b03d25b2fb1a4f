// Connecting and disconnecting protocol channels.
#include "passthru_fixture.h"

namespace vexo::e2e {
namespace {

using Strings = std::vector<std::string>;
using ChannelEntryPoints = PassThruTest;

TEST_F(ChannelEntryPoints, Iso15765OpensWithOneCommand) {
    open_device();
    J2534_ULONG channel = 0;
    ASSERT_EQ(pt.PassThruConnect(1, ISO15765, 0, 500000, &channel), STATUS_NOERROR);
    EXPECT_EQ(channel, 6u);
    EXPECT_EQ(wire.take(), "ato6 0 500000 0\r\n");
    EXPECT_EQ(log.take(), (Strings{
                              wire_line("TX", "ato6 0 500000 0\r\n"),
                              "[tactrix] tactrix RX wire: 6 bytes [61 72 6F 36 0D 0A]",
                              "[tactrix] tactrix RX frame: Ack(channel=Some(6))",
                              "[j2534] PassThruConnect OK proto=6 flags=0x0 baud=500000 ch=6",
                          }));
}

TEST_F(ChannelEntryPoints, CanOpensWithOneCommandAndFlagsInDecimalOnTheWire) {
    open_device();
    J2534_ULONG channel = 0;
    ASSERT_EQ(pt.PassThruConnect(1, CAN, CAN_ID_BOTH, 250000, &channel), STATUS_NOERROR);
    EXPECT_EQ(channel, 5u);
    EXPECT_EQ(wire.take(), "ato5 2048 250000 0\r\n");
    EXPECT_EQ(log.take().back(), "[j2534] PassThruConnect OK proto=5 flags=0x800 baud=250000 ch=5");
}

TEST_F(ChannelEntryPoints, KLineChannelsGetAPassAllFilter) {
    open_device();
    J2534_ULONG channel = 0;
    ASSERT_EQ(pt.PassThruConnect(1, ISO9141, 0, 10400, &channel), STATUS_NOERROR);
    EXPECT_EQ(channel, 3u);
    EXPECT_EQ(wire.take(), "ato3 0 10400 0\r\natf3 1 0 1\r\n" + bytes({0, 0}));
    EXPECT_EQ(log.take(), (Strings{
                              wire_line("TX", "ato3 0 10400 0\r\n"),
                              "[tactrix] tactrix RX wire: 6 bytes [61 72 6F 33 0D 0A]",
                              "[tactrix] tactrix RX frame: Ack(channel=Some(3))",
                              wire_line("TX", "atf3 1 0 1\r\n" + bytes({0, 0})),
                              "[tactrix] tactrix RX wire: 6 bytes [61 72 66 31 0D 0A]",
                              "[tactrix] tactrix RX frame: FilterAck(id=1)",
                              "[j2534] PassThruConnect OK proto=3 flags=0x0 baud=10400 ch=3",
                          }));

    ASSERT_EQ(pt.PassThruConnect(1, ISO14230, ISO9141_NO_CHECKSUM, 10400, &channel), STATUS_NOERROR);
    EXPECT_EQ(channel, 4u);
    EXPECT_EQ(wire.take(), "ato4 512 10400 0\r\natf4 1 0 1\r\n" + bytes({0, 0}));
    EXPECT_EQ(log.take().back(), "[j2534] PassThruConnect OK proto=4 flags=0x200 baud=10400 ch=4");
}

TEST_F(ChannelEntryPoints, ProtocolsTheCableLacksAreRefusedBeforeTheWire) {
    open_device();
    for (std::uint32_t protocol : {0u, J1850VPW, J1850PWM, SCI_A_ENGINE}) {
        J2534_ULONG channel = 99;
        EXPECT_EQ(pt.PassThruConnect(1, protocol, 0, 10400, &channel), ERR_INVALID_PROTOCOL_ID) << protocol;
        EXPECT_EQ(channel, 99u);
        EXPECT_EQ(log.take(), Strings{"[j2534] PassThruConnect ERR proto=" + std::to_string(protocol) +
                                      " flags=0x0 baud=10400 invalid protocol ID"});
    }
    EXPECT_EQ(wire.take(), "");
    EXPECT_EQ(last_error(), "invalid protocol ID");
}

TEST_F(ChannelEntryPoints, ConnectChecksItsPointerAndNeedsADevice) {
    EXPECT_EQ(pt.PassThruConnect(1, ISO15765, 0, 500000, nullptr), ERR_NULL_PARAMETER);
    EXPECT_EQ(log.take(), Strings{});
    J2534_ULONG channel = 0;
    EXPECT_EQ(pt.PassThruConnect(1, ISO15765, 0, 500000, &channel), ERR_DEVICE_NOT_CONNECTED);
    EXPECT_EQ(log.take(), Strings{"[j2534] PassThruConnect ERR proto=6 flags=0x0 baud=500000 device not connected"});
    EXPECT_EQ(last_error(), "device not connected");
}

TEST_F(ChannelEntryPoints, CableRefusingTheChannelFailsTheConnect) {
    open_device();
    ASSERT_EQ(sim.reject('o', "no bus", 1), 0);
    J2534_ULONG channel = 0;
    EXPECT_EQ(pt.PassThruConnect(1, CAN, 0, 500000, &channel), ERR_FAILED);
    EXPECT_EQ(last_error(), "internal error: Tactrix rejected command (are no bus)");
    EXPECT_EQ(log.take().back(),
              "[j2534] PassThruConnect ERR proto=5 flags=0x0 baud=500000 internal error: Tactrix rejected command "
              "(are no bus)");
    // No channel came of it.
    EXPECT_EQ(pt.PassThruDisconnect(CAN), ERR_INVALID_CHANNEL_ID);
}

TEST_F(ChannelEntryPoints, DisconnectClosesTheCableChannelOnce) {
    open_device();
    connect(ISO15765, 500000);
    EXPECT_EQ(pt.PassThruDisconnect(ISO15765), STATUS_NOERROR);
    EXPECT_EQ(wire.take(), "atc6\r\n");
    EXPECT_EQ(log.take(), (Strings{
                              "[tactrix] tactrix TX wire: 6 bytes [61 74 63 36 0D 0A]",
                              "[tactrix] tactrix RX wire: 6 bytes [61 72 6F 36 0D 0A]",
                              "[tactrix] tactrix RX frame: Ack(channel=Some(6))",
                              "[j2534] PassThruDisconnect OK ch=6",
                          }));

    EXPECT_EQ(pt.PassThruDisconnect(ISO15765), ERR_INVALID_CHANNEL_ID);
    EXPECT_EQ(log.take(), Strings{"[j2534] PassThruDisconnect ERR ch=6 invalid channel ID"});
    EXPECT_EQ(last_error(), "invalid channel ID");
    EXPECT_EQ(wire.take(), "");
    EXPECT_EQ(read(ISO15765, 1, 0).status, ERR_INVALID_CHANNEL_ID);
}

TEST_F(ChannelEntryPoints, DisconnectWithoutDevice) {
    EXPECT_EQ(pt.PassThruDisconnect(5), ERR_DEVICE_NOT_CONNECTED);
    EXPECT_EQ(log.take(), Strings{"[j2534] PassThruDisconnect ERR ch=5 device not connected"});
    EXPECT_EQ(last_error(), "device not connected");
}

}  // namespace
}  // namespace vexo::e2e
