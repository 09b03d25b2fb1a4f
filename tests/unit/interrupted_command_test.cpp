// A write that fails part-way leaves the cable's parser inside a command: the rest of that
// command must go out before anything else does.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "tests/unit/tactrix_sim_fixture.h"
#include "vexo/j2534.h"

namespace vexo::tactrix {
namespace {

using ::testing::ElementsAre;

class InterruptedCommand : public TactrixSimTest {
protected:
    std::vector<std::string> lines() const {
        std::vector<std::string> out;
        for (const auto& command : cable->commands()) out.push_back(command.line);
        return out;
    }
    Result<IoctlOutput> set_config(ConfigList pairs) {
        const IoctlInput input = std::move(pairs);
        return device->ioctl(ISO14230, SET_CONFIG, &input);
    }
};

TEST_F(InterruptedCommand, CloseCutShortIsFinishedBeforeTheNextDeviceOpens) {
    open_device();
    sim::fail_next_transfer(LIBUSB_ERROR_IO, 3);
    EXPECT_EQ(outcome(device->close(1)), "ok");
    EXPECT_EQ(written(), "atz");

    device = std::make_unique<TactrixDevice>();
    EXPECT_EQ(outcome(device->open(0)), "ok");
    EXPECT_EQ(written(), "atz\r\nati\r\nata\r\n");
    EXPECT_THAT(lines(), ElementsAre("atz\r\n", "ati\r\n", "ata\r\n"));
    EXPECT_THAT(log.take("[tactrix] finishing"),
                ElementsAre("[tactrix] finishing a command cut short: 2 bytes left"));
}

TEST_F(InterruptedCommand, TransmitCutInsideItsPayloadIsNeverCompletedWithTheNextCommand) {
    open_device();
    connect(CAN);
    Message first;
    first.protocol_id = CAN;
    first.data = {0x00, 0x00, 0x07, 0xDF, 0x02, 0x01, 0x0D};
    Message second = first;
    second.data.back() = 0x0C;
    const std::string line = "att5 7 64\r\n";
    sim::fail_next_transfer(LIBUSB_ERROR_PIPE, line.size() + 2);
    EXPECT_EQ(outcome(device->write_msgs(CAN, std::span(&first, 1), 100)), "0x08 transport error: I/O error: Pipe error");
    EXPECT_EQ(written(), line + std::string("\0\0", 2));

    ASSERT_EQ(outcome(device->write_msgs(CAN, std::span(&second, 1), 100)), "ok");
    const auto commands = cable->commands();
    ASSERT_EQ(commands.size(), 2u);
    EXPECT_EQ(commands[0].line, line);
    EXPECT_EQ(commands[0].payload, first.data);
    EXPECT_EQ(commands[1].line, line);
    EXPECT_EQ(commands[1].payload, second.data);
}

TEST_F(InterruptedCommand, TheFinishedCommandsAnswerIsNotTakenForTheNextOnes) {
    open_device();
    connect(ISO14230, 10400);
    sim::fail_next_transfer(LIBUSB_ERROR_IO, 3);
    EXPECT_EQ(outcome(set_config({{DATA_RATE, 10400}})), "0x08 transport error: I/O error: Input/Output Error");

    // The rest cannot be sent either: the battery is not asked, and the rest stays due.
    sim::fail_next_transfer(LIBUSB_ERROR_IO, 4);
    EXPECT_EQ(outcome(device->ioctl(0, READ_VBATT, nullptr)), "0x08 transport error: I/O error: Input/Output Error");
    EXPECT_EQ(device->last_error_detail(),
              "the command before could not be finished: transport error: I/O error: Input/Output Error");
    EXPECT_EQ(written(), "ats4 1 ");

    cable->reject('r', "busy", 1);  // an answer the battery reading must not be confused with
    const auto battery = device->ioctl(0, READ_VBATT, nullptr);
    EXPECT_EQ(outcome(battery), "0x07 internal error: Tactrix rejected atr (are busy)");
    EXPECT_EQ(written(), "ats4 1 10400\r\natr 16\r\n");
    EXPECT_THAT(lines(), ElementsAre("ats4 1 10400\r\n", "atr 16\r\n"));
    EXPECT_EQ(outcome(set_config({{DATA_RATE, 9600}})), "ok");
}

TEST_F(InterruptedCommand, ACableThatIsGoneLeavesNothingToFinish) {
    open_device();
    sim::fail_next_transfer(LIBUSB_ERROR_NO_DEVICE, 3);
    EXPECT_EQ(outcome(device->close(1)), "ok");

    // Plugged in again, the cable starts with an empty parser.
    sim::reset();
    cable = std::make_shared<sim::CableFirmware>();
    sim::install_link(sim::attach_cables(1), cable);
    device = std::make_unique<TactrixDevice>();
    EXPECT_EQ(outcome(device->open(0)), "ok");
    EXPECT_EQ(text_of(sim::written_bytes()), "ati\r\nata\r\n");
}

}  // namespace
}  // namespace vexo::tactrix
