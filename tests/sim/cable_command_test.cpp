#include "sim/cable_command.h"

#include <gtest/gtest.h>

#include "sim/cable_command_stream.h"
#include "sim/cable_frames.h"

namespace vexo::sim {
namespace {

TEST(CableCommandTest, ParsesFieldsAndPayloadLengths) {
    auto open = parse_command("ato6 0 500000 0\r\n");
    ASSERT_TRUE(open);
    EXPECT_EQ(open->letter, 'o');
    EXPECT_EQ(open->fields, (std::vector<std::uint32_t>{6, 0, 500000, 0}));

    auto analog = parse_command("atr 16\r\n");
    ASSERT_TRUE(analog);
    EXPECT_EQ(analog->fields, std::vector<std::uint32_t>{16});

    EXPECT_EQ(payload_length(*parse_command("att6 4 64\r\n")), 4u);
    EXPECT_EQ(payload_length(*parse_command("atf3 1 0 1\r\n")), 2u);
    EXPECT_EQ(payload_length(*parse_command("atf6 3 64 4\r\n")), 12u);
    EXPECT_EQ(payload_length(*parse_command("aty4 0 0\r\n")), 0u);
    EXPECT_EQ(payload_length(*parse_command("ats6 1 10400\r\n")), 0u);
    EXPECT_TRUE(parse_command("atc4294967295\r\n"));
}

TEST(CableCommandTest, RefusesMalformedLines) {
    for (const char* line :
         {"atr16\r\n", "ato6 0 500000\r\n", "ato6 0 500000 0 1\r\n", "atc\r\n", "atc3 \r\n", "atc 3\r\n", "atc-3\r\n",
          "atc+3\r\n", "atc4294967296\r\n", "ats6  1 2\r\n", "ati\n", "ati1\r\n", "ata\r\r\n"}) {
        EXPECT_EQ(parse_command(line).error(), CommandError::Malformed) << line;
    }
    for (const char* line : {"atq\r\n", "at\r\n", "xyz\r\n", "\r\n", "ATI\r\n"})
        EXPECT_EQ(parse_command(line).error(), CommandError::UnknownCommand) << line;
    EXPECT_EQ(parse_command("att6 65536 64\r\n").error(), CommandError::BadLength);
    EXPECT_EQ(parse_command("atf6 3 64 4294967295\r\n").error(), CommandError::BadLength);
}

Bytes sample_stream() {
    Bytes bytes = to_bytes("att6 4 64\r\n");
    append(bytes, Bytes{0x0D, 0x0A, 0x07, 0xDF});  // payload bytes that look like a line end
    append(bytes, to_bytes("atf6 3 64 1\r\n"));
    append(bytes, Bytes{0xFF, 0x0A, 0x0D});
    append(bytes, to_bytes("atc6\r\n"));
    return bytes;
}

const std::vector<ReceivedCommand> sample_commands{
    {"att6 4 64\r\n", {0x0D, 0x0A, 0x07, 0xDF}, false},
    {"atf6 3 64 1\r\n", {0xFF, 0x0A, 0x0D}, false},
    {"atc6\r\n", {}, false},
};

TEST(CommandStreamTest, PayloadsHonouredWheneverTheStreamIsSplit) {
    const Bytes bytes = sample_stream();
    for (std::size_t cut = 0; cut <= bytes.size(); ++cut) {
        CommandStream stream;
        auto commands = stream.feed(std::span(bytes).first(cut));
        for (auto& more : stream.feed(std::span(bytes).subspan(cut))) commands.push_back(std::move(more));
        EXPECT_EQ(commands, sample_commands) << "cut at " << cut;
    }

    CommandStream stream;
    std::vector<ReceivedCommand> commands;
    for (const std::uint8_t byte : bytes)
        for (auto& done : stream.feed(std::span(&byte, 1))) commands.push_back(std::move(done));
    EXPECT_EQ(commands, sample_commands);
}

TEST(CommandStreamTest, OverlongLineIsCutAndSkippedToItsEnd) {
    CommandStream stream;
    const auto commands = stream.feed(to_bytes(std::string(100, 'x') + "\r\nata\r\n"));
    ASSERT_EQ(commands.size(), 2u);
    EXPECT_TRUE(commands[0].overlong);
    EXPECT_EQ(commands[0].line, std::string(max_line_bytes, 'x'));
    EXPECT_EQ(commands[1], (ReceivedCommand{"ata\r\n", {}, false}));
}

TEST(CommandStreamTest, MalformedLineTakesNoPayload) {
    CommandStream stream;
    const auto commands = stream.feed(to_bytes("att6 x 64\r\nata\r\n"));
    ASSERT_EQ(commands.size(), 2u);
    EXPECT_EQ(commands[1].line, "ata\r\n");
}

}  // namespace
}  // namespace vexo::sim
