#include "command_line.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string_view>
#include <tuple>
#include <vector>

#include "library_location.h"

namespace vexo::tools {
namespace {

using Args = std::vector<std::string_view>;

std::expected<Options, UsageError> parse(Args args) { return parse_command_line(args); }

TEST(CommandLine, OptionsAroundTheCommandAndTheirDefaults) {
    const auto vin = parse({"vin"});
    ASSERT_TRUE(vin) << vin.error().text;
    EXPECT_EQ(std::tie(vin->command, vin->tx_id, vin->rx_id, vin->baud, vin->timeout_ms, vin->json, vin->bus_given),
              std::tuple(Command::Vin, 0x7E0u, 0x7E8u, 500000u, 1000u, false, false));
    const auto info = parse({"--sim", "info", "--json", "--lib=/opt/x.so", "--sim-lib", "/tmp/u.so", "--sim-cables=0"});
    ASSERT_TRUE(info) << info.error().text;
    EXPECT_EQ(std::tie(info->command, info->sim, info->json, info->sim_cables),
              std::tuple(Command::Info, true, true, 0u));
    EXPECT_EQ(info->library, std::filesystem::path("/opt/x.so"));
    EXPECT_EQ(info->sim_library, std::filesystem::path("/tmp/u.so"));
    // "--" separates uds requests, with options after it still read as options.
    const auto uds = parse({"uds", "10", "03", "--", "27", "01", "--keepalive", "50", "--tx", "00000201", "22F190"});
    ASSERT_TRUE(uds) << uds.error().text;
    EXPECT_EQ(uds->uds_requests,
              (std::vector<std::vector<std::uint8_t>>{{0x10, 0x03}, {0x27, 0x01, 0x22, 0xF1, 0x90}}));
    EXPECT_EQ(std::tie(uds->keepalive_ms, uds->tx_id, uds->ids_29bit, uds->bus_given),
              std::tuple(50u, 0x201u, true, true));
    // A functional request ID asks every ECU, as --functional does.
    const auto functional = parse({"uds", "--tx", "7DF", "09", "02"});
    ASSERT_TRUE(functional) << functional.error().text;
    EXPECT_TRUE(functional->functional);
    EXPECT_EQ(parse({"obd", "--functional"})->tx_id, 0x7DFu);
}

TEST(CommandLine, MonitorFiltersTakeTheWidthTheirIdIsWrittenIn) {
    const auto monitor = parse({"monitor", "--id", "105", "--mask", "7F0", "--filter", "7E8", "--filter=00000201",
                                "--filter", "700:700", "--log", "x.log", "--append", "--format", "candump"});
    ASSERT_TRUE(monitor) << monitor.error().text;
    EXPECT_EQ(monitor->filters,
              (std::vector<CanFilter>{
                  {0x105, 0x7F0, false}, {0x7E8, 0x7FF, false}, {0x201, 0x1FFFFFFF, true}, {0x700, 0x700, false}}));
    EXPECT_EQ(std::tie(monitor->can_29bit, monitor->log_mode, monitor->monitor_format),
              std::tuple(true, LogMode::Append, MonitorFormat::Candump));
    EXPECT_EQ(parse({"monitor", "--29bit", "--filter", "201"})->filters,
              (std::vector<CanFilter>{{0x201, 0x1FFFFFFF, true}}));
}

TEST(CommandLine, HelpAndVersionNeedNoCommandButKeepOne) {
    const struct {
        Args args;
        Command command;
        bool help;
    } cases[] = {{{"--help"}, Command::None, true},
                 {{"uds", "-h"}, Command::Uds, true},
                 {{"help", "monitor"}, Command::Monitor, true},
                 {{"help"}, Command::None, true},
                 {{"--version"}, Command::None, false},
                 {{"info", "--version"}, Command::Info, false}};
    for (const auto& c : cases) {
        const auto options = parse(c.args);
        ASSERT_TRUE(options) << c.args.front() << ": " << options.error().text;
        EXPECT_EQ(std::tie(options->command, options->help, options->version), std::tuple(c.command, c.help, !c.help));
    }
}

TEST(CommandLine, MistakesAreNamedWithTheCommandWhoseHelpTheyPointAt) {
    const std::string long_request(64 * 2, 'A');
    const std::string too_long(4096 * 2, 'A');
    const struct {
        Args args;
        std::string text;
        Command command;
    } cases[] = {
        {{}, "no command given", Command::None},
        {{"frobnicate"}, "unknown command 'frobnicate'", Command::None},
        {{"help", "bogus"}, "unknown command 'bogus'", Command::None},
        {{"info", "--verbose"}, "unknown option '--verbose'", Command::Info},
        {{"help", "monitor", "--bogus=1"}, "unknown option '--bogus'", Command::Monitor},
        {{"uds", "22", "--watch"}, "--watch does not apply to uds", Command::Uds},
        {{"--timeout", "5", "vin"}, "--timeout goes after the command", Command::Vin},
        {{"--timeout", "5"}, "--timeout goes after the command it applies to", Command::None},
        {{"info", "extra"}, "unexpected argument 'extra'", Command::Info},
        {{"vin", "--timeout"}, "--timeout needs a value", Command::Vin},
        {{"vin", "--timeout", "1s"}, "--timeout needs a decimal number, not '1s'", Command::Vin},
        {{"dtc", "--clear=0"}, "--clear takes no value", Command::Dtc},
        {{"--version=1"}, "--version takes no value", Command::None},
        {{"vin", "--tx", "20000000"}, "--tx needs a hexadecimal CAN ID up to 1FFFFFFF, not '20000000'", Command::Vin},
        {{"monitor", "--baud=2000000"}, "--baud takes 10000 to 1000000, not '2000000'", Command::Monitor},
        {{"--sim", "info", "--sim-cables", "-1"}, "--sim-cables needs a decimal number, not '-1'", Command::Info},
        {{"monitor", "--count", "0"}, "--count needs at least 1, not '0'", Command::Monitor},
        {{"monitor", "--time", "utc"}, "--time is cable, absolute or delta, not 'utc'", Command::Monitor},
        {{"monitor", "--filter", "7E8:"},
         "--filter needs ID or ID:MASK, hexadecimal up to 1FFFFFFF, not '7E8:'",
         Command::Monitor},
        {{"monitor", "--log", "-", "--json"},
         "--log - writes the log to standard output, where --json writes too",
         Command::Monitor},
        {{"kline", "--request", long_request}, "--request takes at most 63 bytes", Command::Kline},
        {{"uds"}, "uds needs the request as hexadecimal bytes, e.g. 'uds 22 F1 90'", Command::Uds},
        {{"uds", "2F1"}, "uds needs hexadecimal bytes, not '2F1'", Command::Uds},
        {{"uds", too_long}, "uds: a request holds at most 4095 bytes, not 4096", Command::Uds},
        {{"uds", "10", "--", "-"}, "uds: '-' reads every request from standard input, alone", Command::Uds},
        // What CLI11 itself says, naming the options.
        {{"info", "--sim-lib", "/x.so"}, "--sim-lib requires --sim", Command::Info},
        {{"vin", "--functional", "--tx", "7E0"}, "--tx excludes --functional", Command::Vin},
        {{"monitor", "--force"}, "--force requires --log", Command::Monitor},
    };
    for (const auto& c : cases) {
        const auto options = parse(c.args);
        ASSERT_FALSE(options) << c.text;
        EXPECT_EQ(options.error().text, c.text);
        EXPECT_EQ(options.error().command, c.command) << c.text;
    }
}

TEST(LibraryLocation, BesideTheClientThenTheBuildTreeThenTheInstalledLib) {
    const std::filesystem::path exe_dir = "/build/tools";
    EXPECT_EQ(j2534_library_candidates(exe_dir, "libvexo_j2534_0404.so"),
              (std::vector<std::filesystem::path>{"/build/tools/libvexo_j2534_0404.so", "/build/libvexo_j2534_0404.so",
                                                  "/build/lib/libvexo_j2534_0404.so"}));
    EXPECT_EQ(sim_usb_candidates(exe_dir, "libusb-1.0.so.0"), (std::vector<std::filesystem::path> {
                  "/build/tools/simusb/libusb-1.0.so.0", "/build/simusb/libusb-1.0.so.0",
                      "/build/sim/simusb/libusb-1.0.so.0", "/build/sim/libusb-1.0.so.0",
#if defined(_WIN32)
                      "/build/tools/libusb-1.0.so.0"
              }));
#else
                                            "/build/lib/vexo-j2534/libusb-1.0.so.0"}));
#endif
}

// --help names the files of the platform it runs on, and no other's.
TEST(LibraryLocation, HelpStatesThisPlatformsSearch) {
    const std::string help = help_text(Command::None);
#if defined(_WIN32)
    EXPECT_EQ(sim_usb_search_text(),
              "simusb\\ beside vexo.exe, then ..\\simusb\\, ..\\sim\\simusb\\, ..\\sim\\ and, in a "
              "test build, the libusb-1.0.dll beside vexo.exe");
    for (const char* other : {".so", "../", "~/.passthru"}) EXPECT_EQ(help.find(other), std::string::npos) << other;
#else
    EXPECT_EQ(sim_usb_search_text(),
              "simusb/ beside vexo, then ../simusb/, ../sim/simusb/, ../sim/ and, installed, ../lib/vexo-j2534/");
    for (const char* other : {".dll", "..\\", ".exe"}) EXPECT_EQ(help.find(other), std::string::npos) << other;
#endif
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
