#include "passthru_fixture.h"

#include <cstdlib>
#include <filesystem>
#include <sstream>

#include "test_process.h"

namespace vexo::e2e {

namespace {

// The build's run directory, or the one in VEXO_E2E_RUN_DIR. Not TEMP: Wine hands a Windows
// process its own TEMP whatever the caller set.
const std::filesystem::path& run_directory() {
    static const std::filesystem::path dir = [] {
        const char* given = std::getenv("VEXO_E2E_RUN_DIR");
        return std::filesystem::absolute(given != nullptr && *given != '\0' ? given : VEXO_E2E_RUN_DIR);
    }();
    return dir;
}

}  // namespace

void PassThruTest::SetUp() {
    ASSERT_EQ(pt.error, "");
    ASSERT_EQ(sim.error, "");
    const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
    // The suite runs against both cables at once: each keeps its logs apart.
    const auto dir = run_directory() / (sim.usbfs ? "usbfs" : "") / (std::string(test->test_suite_name()) + "." + test->name());
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    // The library reads TEMP afresh for every line.
    set_log_directory(dir);
    log = LogTap(dir / "j2534-0404.log");

    sim.reset();
    sim.attach_cables(1);
    wire.skip();
}

void PassThruTest::TearDown() {
    (void)pt.PassThruClose(1);
    sim.reset();
}

void PassThruTest::open_device() {
    J2534_ULONG id = 0;
    ASSERT_EQ(pt.PassThruOpen(nullptr, &id), STATUS_NOERROR) << last_error();
    ASSERT_EQ(id, 1u);
    wire.skip();
    log.skip();
}

void PassThruTest::connect(std::uint32_t protocol_id, std::uint32_t baud_rate, std::uint32_t flags) {
    J2534_ULONG channel = 0;
    ASSERT_EQ(pt.PassThruConnect(1, protocol_id, flags, baud_rate, &channel), STATUS_NOERROR) << last_error();
    ASSERT_EQ(channel, protocol_id);
    wire.skip();
    log.skip();
}

std::string PassThruTest::last_error() const {
    char text[80] = "untouched";
    if (pt.PassThruGetLastError(text) != STATUS_NOERROR) return "(PassThruGetLastError failed)";
    return text;
}

void PassThruTest::mark_last_error() {
    J2534_ULONG channel = 0;
    ASSERT_EQ(pt.PassThruConnect(1, J1850VPW, 0, 10400, &channel), ERR_INVALID_PROTOCOL_ID);
    ASSERT_EQ(last_error(), kMarkedError);
    wire.skip();
    log.skip();
}

PassThruTest::ReadResult PassThruTest::read(std::uint32_t channel, std::uint32_t capacity,
                                            std::uint32_t timeout_ms) const {
    ReadResult result;
    result.msgs.resize(capacity);
    result.n = capacity;
    result.status = pt.PassThruReadMsgs(channel, result.msgs.data(), &result.n, timeout_ms);
    if (result.status == STATUS_NOERROR || result.status == ERR_BUFFER_EMPTY) {
        result.msgs.resize(std::min<J2534_ULONG>(result.n, capacity));
    } else {
        result.msgs.clear();
    }
    return result;
}

J2534_STATUS PassThruTest::write(std::uint32_t channel, PASSTHRU_MSG msg, std::uint32_t timeout_ms) const {
    J2534_ULONG n = 1;
    return pt.PassThruWriteMsgs(channel, &msg, &n, timeout_ms);
}

std::vector<std::string> PassThruTest::cable_commands() const {
    std::string text(sim.commands(nullptr, 0) + 1, '\0');
    sim.commands(text.data(), text.size());
    std::vector<std::string> lines;
    std::istringstream in(text.c_str());
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

}  // namespace vexo::e2e
