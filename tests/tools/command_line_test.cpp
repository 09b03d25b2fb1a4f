#include "command_line.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string_view>
#include <vector>

#include "library_location.h"

namespace vexo::tools {
namespace {

using Args = std::vector<std::string_view>;

std::expected<Options, std::string> parse(Args args) { return parse_command_line(args); }

TEST(CommandLine, DefaultsOfARequestCommand) {
    const auto options = parse({"vin"});
    ASSERT_TRUE(options) << options.error();
    EXPECT_EQ(options->command, Command::Vin);
    EXPECT_EQ(options->tx_id, 0x7E0u);
    EXPECT_EQ(options->rx_id, 0x7E8u);
    EXPECT_EQ(options->baud, 500000u);
    EXPECT_EQ(options->timeout_ms, 1000u);
    EXPECT_FALSE(options->json);
    EXPECT_FALSE(options->sim);
    EXPECT_FALSE(options->library);
}

TEST(CommandLine, GlobalOptionsBeforeOrAfterTheCommand) {
    const auto options = parse({"--sim", "info", "--json", "--lib=/opt/x.so", "--sim-lib", "/tmp/u.so"});
    ASSERT_TRUE(options) << options.error();
    EXPECT_EQ(options->command, Command::Info);
    EXPECT_TRUE(options->sim);
    EXPECT_TRUE(options->json);
    EXPECT_EQ(options->library, std::filesystem::path("/opt/x.so"));
    EXPECT_EQ(options->sim_library, std::filesystem::path("/tmp/u.so"));
    EXPECT_EQ(options->sim_cables, 1u);
    const auto no_cable = parse({"--sim", "--sim-cables=0", "info"});
    ASSERT_TRUE(no_cable) << no_cable.error();
    EXPECT_EQ(no_cable->sim_cables, 0u);
}

TEST(CommandLine, UdsBytesIdsAndTimeout) {
    const auto options = parse({"uds", "--tx", "18DA10F1", "--rx=0x18DAF110", "22", "F190", "--timeout", "2500"});
    ASSERT_TRUE(options) << options.error();
    EXPECT_EQ(options->uds_requests, (std::vector<std::vector<std::uint8_t>>{{0x22, 0xF1, 0x90}}));
    EXPECT_EQ(options->tx_id, 0x18DA10F1u);
    EXPECT_EQ(options->rx_id, 0x18DAF110u);
    EXPECT_TRUE(needs_29bit(options->tx_id));
    EXPECT_FALSE(needs_29bit(0x7FF));
    EXPECT_EQ(options->timeout_ms, 2500u);
}

TEST(CommandLine, FunctionalRequestsGoTo7DF) {
    const auto options = parse({"obd", "--functional", "--watch"});
    ASSERT_TRUE(options) << options.error();
    EXPECT_EQ(options->tx_id, 0x7DFu);
    EXPECT_EQ(options->rx_id, 0x7E8u);
    EXPECT_TRUE(options->watch);
    EXPECT_EQ(parse({"vin", "--functional", "--tx", "7E0"}).error(), "--functional and --tx exclude each other");
}

TEST(CommandLine, MonitorAndKlineOptions) {
    const auto monitor =
        parse({"monitor", "--proto", "iso15765", "--baud", "250000", "--id", "7E8", "--mask", "7F8", "--count", "5"});
    ASSERT_TRUE(monitor) << monitor.error();
    EXPECT_EQ(monitor->monitor_protocol, MonitorProtocol::Iso15765);
    EXPECT_EQ(monitor->baud, 250000u);
    EXPECT_EQ(monitor->filters, (std::vector<CanFilter>{{0x7E8, 0x7F8}}));
    EXPECT_EQ(monitor->count, 5u);
    EXPECT_EQ(monitor->monitor_format, MonitorFormat::Table);

    const auto filters = parse({"monitor", "--id", "105", "--filter", "7E8", "--filter=18DAF110", "--filter", "700:700",
                                "--format", "candump", "--time", "delta", "--log", "x.log", "--duration", "3"});
    ASSERT_TRUE(filters) << filters.error();
    EXPECT_EQ(filters->filters, (std::vector<CanFilter>{
                                    {0x105, 0x7FF}, {0x7E8, 0x7FF}, {0x18DAF110, 0x1FFFFFFF}, {0x700, 0x700}}));
    EXPECT_EQ(filters->monitor_format, MonitorFormat::Candump);
    EXPECT_EQ(filters->monitor_time, MonitorTime::Delta);
    EXPECT_EQ(filters->log_file, std::filesystem::path("x.log"));
    EXPECT_EQ(filters->duration_s, 3u);
    EXPECT_EQ(parse({"monitor", "--filter", "7E8:"}).error(),
              "--filter needs ID or ID:MASK, hexadecimal up to 1FFFFFFF, not '7E8:'");
    EXPECT_EQ(parse({"monitor", "--mask", "7FF"}).error(), "--mask needs --id");
    EXPECT_EQ(parse({"monitor", "--format", "asc"}).error(), "--format is table or candump, not 'asc'");
    EXPECT_EQ(parse({"monitor", "--time", "utc"}).error(), "--time is cable, absolute or delta, not 'utc'");
    EXPECT_EQ(parse({"monitor", "--duration", "0"}).error(), "--duration needs at least 1 second");

    const auto kline = parse({"kline"});
    ASSERT_TRUE(kline) << kline.error();
    EXPECT_EQ(kline->request, (std::vector<std::uint8_t>{0x01, 0x00}));
    EXPECT_EQ(parse({"kline", "--request", "09 02"})->request, (std::vector<std::uint8_t>{0x09, 0x02}));
}

TEST(CommandLine, DtcClearNeedsNoValue) {
    const auto options = parse({"dtc", "--clear", "--yes"});
    ASSERT_TRUE(options) << options.error();
    EXPECT_TRUE(options->clear);
    EXPECT_TRUE(options->yes);
    EXPECT_EQ(parse({"dtc", "--clear=yes"}).error(), "--clear takes no value");
}

TEST(CommandLine, HelpNeedsNoCommandButKeepsOne) {
    const auto general = parse({"--help"});
    ASSERT_TRUE(general);
    EXPECT_TRUE(general->help);
    EXPECT_EQ(general->command, Command::None);
    const auto uds = parse({"uds", "-h"});
    ASSERT_TRUE(uds);
    EXPECT_TRUE(uds->help);
    EXPECT_EQ(uds->command, Command::Uds);
    const auto help_word = parse({"help", "monitor"});
    ASSERT_TRUE(help_word) << help_word.error();
    EXPECT_TRUE(help_word->help);
    EXPECT_EQ(help_word->command, Command::Monitor);
    const auto version = parse({"--version"});
    ASSERT_TRUE(version) << version.error();
    EXPECT_TRUE(version->version);
    EXPECT_EQ(version->command, Command::None);
}

TEST(CommandLine, UsageErrorsPointAtTheCommandTheyNamed) {
    EXPECT_EQ(command_named_in(Args{"--sim", "uds", "2F1"}), Command::Uds);
    EXPECT_EQ(command_named_in(Args{"help", "monitor", "--bogus"}), Command::Monitor);
    EXPECT_EQ(command_named_in(Args{"--bogus"}), Command::None);
}

TEST(CommandLine, VersionNeedsNoCommandAndTakesNoValue) {
    const auto alone = parse({"--version"});
    ASSERT_TRUE(alone);
    EXPECT_TRUE(alone->version);
    EXPECT_FALSE(alone->help);
    EXPECT_EQ(alone->command, Command::None);
    EXPECT_EQ(parse({"--version=1"}).error(), "--version takes no value");
}

TEST(CommandLine, MistakesAreNamed) {
    EXPECT_EQ(parse({}).error(), "no command given");
    EXPECT_EQ(parse({"frobnicate"}).error(), "unknown command 'frobnicate'");
    EXPECT_EQ(parse({"info", "--verbose"}).error(), "unknown option '--verbose'");
    EXPECT_EQ(parse({"uds", "22", "--watch"}).error(), "--watch does not apply to uds");
    EXPECT_EQ(parse({"info", "--timeout", "5"}).error(), "--timeout does not apply to info");
    EXPECT_EQ(parse({"vin", "--timeout"}).error(), "--timeout needs a value");
    EXPECT_EQ(parse({"vin", "--timeout", "1s"}).error(), "--timeout needs a decimal number, not '1s'");
    EXPECT_EQ(parse({"vin", "--tx", "20000000"}).error(),
              "--tx needs a hexadecimal CAN ID up to 1FFFFFFF, not '20000000'");
    EXPECT_EQ(parse({"uds"}).error(), "uds needs the request as hexadecimal bytes, e.g. 'uds 22 F1 90'");
    EXPECT_EQ(parse({"uds", "22", "F1", "9G"}).error(), "uds needs hexadecimal bytes, not '9G'");
    EXPECT_EQ(parse({"uds", "2F1"}).error(), "uds needs hexadecimal bytes, not '2F1'");
    EXPECT_EQ(parse({"vin", "--baud", "12"}).error(), "--baud takes 10000 to 1000000, not '12'");
    EXPECT_EQ(parse({"monitor", "--baud=2000000"}).error(), "--baud takes 10000 to 1000000, not '2000000'");
    EXPECT_EQ(parse({"help", "bogus"}).error(), "unknown command 'bogus'");
    EXPECT_EQ(parse({"info", "extra"}).error(), "unexpected argument 'extra'");
    EXPECT_EQ(parse({"monitor", "--proto", "j1850"}).error(), "--proto is can or iso15765, not 'j1850'");
    EXPECT_EQ(parse({"monitor", "--count", "0"}).error(), "--count needs at least 1");
    EXPECT_EQ(parse({"info", "--sim-lib", "/x.so"}).error(), "--sim-lib, --sim-vehicle and --sim-cables need --sim");
    EXPECT_EQ(parse({"info", "--sim-cables", "0"}).error(), "--sim-lib, --sim-vehicle and --sim-cables need --sim");
    EXPECT_EQ(parse({"--sim", "info", "--sim-cables", "9"}).error(), "--sim-cables takes 0 to 8");
    EXPECT_EQ(parse({"--sim", "info", "--sim-cables", "-1"}).error(), "--sim-cables needs a decimal number, not '-1'");
    const std::string long_request(64 * 2, 'A');
    EXPECT_EQ(parse({"kline", "--request", long_request}).error(), "--request takes at most 63 bytes");
}

TEST(LibraryLocation, BesideTheClientThenTheBuildTreeThenTheInstalledLib) {
    const std::filesystem::path exe_dir = "/build/tools";
    EXPECT_EQ(j2534_library_candidates(exe_dir, "libvexo_j2534_0404.so"),
              (std::vector<std::filesystem::path>{"/build/tools/libvexo_j2534_0404.so", "/build/libvexo_j2534_0404.so",
                                                  "/build/lib/libvexo_j2534_0404.so"}));
    EXPECT_EQ(
        sim_usb_candidates(exe_dir, "libusb-1.0.so.0"),
        (std::vector<std::filesystem::path>{"/build/tools/simusb/libusb-1.0.so.0", "/build/simusb/libusb-1.0.so.0",
                                            "/build/sim/simusb/libusb-1.0.so.0", "/build/sim/libusb-1.0.so.0",
                                            "/build/lib/vexo-j2534/libusb-1.0.so.0"}));
}

TEST(LibraryLocation, PathsAsUtf8Text) {
    EXPECT_EQ(path_text(std::filesystem::path(u8"/opt/M\u00FCller/vexo.so")), "/opt/M\u00FCller/vexo.so");
    const std::vector<std::filesystem::path> paths = {"/a/x.so", "/b/x.so"};
    EXPECT_EQ(path_list(paths), "/a/x.so, /b/x.so");
    EXPECT_EQ(path_list(std::vector<std::filesystem::path>{}), "");
}

TEST(LibraryLocation, ABareLibraryNameIsAlsoLookedForInTheCurrentDirectory) {
    const auto dir = std::filesystem::temp_directory_path() / "vexo_given_library_test";
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    {
        std::FILE* f = std::fopen((dir / "here.so").string().c_str(), "w");
        std::fclose(f);
    }
    EXPECT_EQ(given_library("here.so", dir), dir / "here.so");
    EXPECT_EQ(given_library("elsewhere.so", dir), std::filesystem::path("elsewhere.so"));
    EXPECT_EQ(given_library("sub/here.so", dir), std::filesystem::path("sub/here.so"));
    EXPECT_EQ(given_library("/abs/here.so", dir), std::filesystem::path("/abs/here.so"));
    std::filesystem::remove_all(dir);
}

TEST(LibraryLocation, FirstExistingFileWins) {
    const auto dir = std::filesystem::temp_directory_path() / "vexo_library_location_test";
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir / "tools" / "libvexo_j2534_0404.so");  // a directory, not a file
    {
        std::FILE* f = std::fopen((dir / "libvexo_j2534_0404.so").string().c_str(), "w");
        std::fclose(f);
    }
    const auto candidates = j2534_library_candidates(dir / "tools", "libvexo_j2534_0404.so");
    EXPECT_EQ(first_existing(candidates), dir / "libvexo_j2534_0404.so");
    EXPECT_EQ(first_existing(std::vector<std::filesystem::path>{dir / "missing"}), std::nullopt);
    std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace vexo::tools
