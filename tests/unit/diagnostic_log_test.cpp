#include "core/diagnostic_log.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <vector>

#include "api/marshalling.h"
#include "core/text_format.h"
#include "log_dir_fixture.h"

namespace vexo {
namespace {

using ::testing::ElementsAre;
using testing::LogDirTest;

std::vector<std::uint8_t> counting_bytes(std::size_t n) {
    std::vector<std::uint8_t> bytes(n);
    for (std::size_t i = 0; i < n; ++i) bytes[i] = static_cast<std::uint8_t>(i);
    return bytes;
}

constexpr const char* kFirst48 =
    "00 01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F 10 11 12 13 14 15 16 17 "
    "18 19 1A 1B 1C 1D 1E 1F 20 21 22 23 24 25 26 27 28 29 2A 2B 2C 2D 2E 2F";

using HexDump = LogDirTest;

TEST_F(HexDump, EmptyWriteShowsZeroBytes) {
    log_hex_dump("tactrix TX wire", {});
    EXPECT_THAT(debug_lines_, ElementsAre("[tactrix] tactrix TX wire: 0 bytes []"));
    EXPECT_EQ(log_contents(), "[tactrix] tactrix TX wire: 0 bytes []\n");
}

TEST_F(HexDump, IdentifyCommandBytes) {
    const std::vector<std::uint8_t> ati = {'a', 't', 'i', '\r', '\n'};
    log_hex_dump("tactrix TX wire", ati);
    EXPECT_EQ(log_contents(), "[tactrix] tactrix TX wire: 5 bytes [61 74 69 0D 0A]\n");
}

TEST_F(HexDump, FortyEightBytesAreAllShownWithoutSuffix) {
    log_hex_dump("tactrix RX wire", counting_bytes(48));
    EXPECT_EQ(log_contents(), std::string("[tactrix] tactrix RX wire: 48 bytes [") + kFirst48 + "]\n");
}

TEST_F(HexDump, FortyNineBytesShowFirst48AndEllipsisWithFullCount) {
    log_hex_dump("tactrix RX wire", counting_bytes(49));
    EXPECT_EQ(log_contents(), std::string("[tactrix] tactrix RX wire: 49 bytes [") + kFirst48 + " \xE2\x80\xA6]\n");
}

TEST_F(HexDump, LargeReadIsCappedAt48) {
    log_hex_dump("tactrix RX wire", counting_bytes(4096));
    ASSERT_EQ(debug_lines_.size(), 1u);
    EXPECT_EQ(debug_lines_[0], std::string("[tactrix] tactrix RX wire: 4096 bytes [") + kFirst48 + " \xE2\x80\xA6]");
}

TEST(Formatters, ByteListIsTwoUpperCaseDigitsEachJoinedByBlanks) {
    const std::vector<std::uint8_t> bytes = {0x0A, 0xFF, 0x00, 0x7E};
    EXPECT_EQ(text::byte_list(bytes), "0A FF 00 7E");
    EXPECT_EQ(text::byte_list({}), "");
    EXPECT_EQ(text::byte_list(bytes, ""), "0AFF007E");
}

TEST(Formatters, HexFormsPadAndCaseAsAsked) {
    EXPECT_EQ(text::hex_prefixed(0x800), "0x800");
    EXPECT_EQ(text::hex_prefixed(0), "0x0");
    EXPECT_EQ(text::hex_wide(0xEA60), "0x0000ea60");
    EXPECT_EQ(text::hex_wide(0xFFFFFFFF), "0xffffffff");
    EXPECT_EQ(text::hex_byte(0x0A), "0A");
    EXPECT_EQ(text::hex(0x3, 2, text::HexCase::Upper), "03");
    EXPECT_EQ(text::hex(0x1234, 2, text::HexCase::Upper), "1234");
    EXPECT_EQ(text::hex(0xCC4D, 4), "cc4d");
    EXPECT_EQ(text::hex(0x1F697), "1f697");
}

TEST(Formatters, ConfigListIsLowerHexParameterAndDecimalValue) {
    SCONFIG pairs[] = {{1, 10}, {0x800, 0}, {0, 0}, {0xFFFFFFFF, 4294967295u}, {0x1E, 500000}};
    EXPECT_EQ(api::config_list_text({5, pairs}), "0x1=10, 0x800=0, 0x0=0, 0xffffffff=4294967295, 0x1e=500000");
    EXPECT_EQ(api::config_list_text({0, pairs}), "");
}

using LogLines = LogDirTest;

TEST_F(LogLines, EntryPointLineIsWrittenAsGivenAndDriverLineGetsItsTag) {
    log_line("[j2534] PassThruClose OK dev=1");
    driver_log("tactrix RX frame: ack");
    EXPECT_THAT(debug_lines_, ElementsAre("[j2534] PassThruClose OK dev=1", "[tactrix] tactrix RX frame: ack"));
    EXPECT_EQ(log_contents(), "[j2534] PassThruClose OK dev=1\n[tactrix] tactrix RX frame: ack\n");
}

TEST_F(LogLines, ExistingContentIsKeptAndLinesEndInLfOnly) {
    { std::ofstream(log_path(), std::ios::binary) << "from an earlier run\r\n"; }
    log_line("first");
    log_line("");
    log_line("caf\xC3\xA9 \xE2\x80\xA6");
    EXPECT_EQ(log_contents(), "from an earlier run\r\nfirst\n\ncaf\xC3\xA9 \xE2\x80\xA6\n");
}

TEST_F(LogLines, MissingDirectoryLosesOnlyTheFileCopy) {
    const auto missing = dir_ / "not-there";
    platform::set_environment_value("TEMP", testing::utf8(missing));
    log_line("[j2534] PassThruOpen OK dev=1");
    EXPECT_THAT(debug_lines_, ElementsAre("[j2534] PassThruOpen OK dev=1"));
    EXPECT_FALSE(std::filesystem::exists(missing));
    EXPECT_FALSE(std::filesystem::exists(log_path()));
}

TEST_F(LogLines, TempIsReadAfreshForEveryLine) {
    log_line("one");
    const auto second = dir_ / "second";
    std::filesystem::create_directory(second);
    platform::set_environment_value("TEMP", testing::utf8(second));
    log_line("two");
    EXPECT_EQ(log_contents(), "one\n");
    EXPECT_EQ(testing::read_file(second / std::string(platform::kLogFileName)), "two\n");
}

TEST_F(LogLines, FileHeldOpenByAnotherWriterStillReceivesLines) {
    std::FILE* other = std::fopen(testing::utf8(log_path()).c_str(), "ab");
    ASSERT_NE(other, nullptr);
    std::fputs("held\n", other);
    std::fflush(other);
    log_line("ours");
    std::fputs("held again\n", other);
    std::fclose(other);
    EXPECT_EQ(log_contents(), "held\nours\nheld again\n");
}

}  // namespace
}  // namespace vexo
