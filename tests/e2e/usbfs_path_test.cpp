// What only the kernel's usbfs path shows: transfers cut by their time-out while holding data,
// a cable that NAKs, unplugging mid-read, kernel drivers and other processes on the cable.
// These run only against the usbfs model behind the system's libusb (the e2e_usbfs tests).
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <thread>
#include <utility>

#include "passthru_fixture.h"
#include "sim/usbfs/vexo_usbfs_api.h"
#include "test_process.h"

namespace vexo::e2e {
namespace {

using Clock = std::chrono::steady_clock;
using Strings = std::vector<std::string>;
using std::chrono::milliseconds;

const std::string kEcuId = bytes({0x00, 0x00, 0x07, 0xE8});
constexpr const char* kNotFound = "transport error: I/O error: Tactrix not found (VID=0x0403 PID=0xcc4d)";

struct UsbfsControls {
    decltype(&::vexo_usbfs_bind_driver) bind_driver = nullptr;
    decltype(&::vexo_usbfs_pause_in) pause_in = nullptr;
    decltype(&::vexo_usbfs_nak_out) nak_out = nullptr;
};

// Another program using the cable: the vexo client, started with this process's environment
// (so it meets the same testbed) and stopped with Ctrl-C.
class OtherProcess {
public:
    explicit OtherProcess(std::vector<std::string> args) {
        int out[2];
        if (::pipe(out) != 0) return;
        pid_ = ::fork();
        if (pid_ == 0) {
            ::dup2(out[1], STDOUT_FILENO);
            ::dup2(out[1], STDERR_FILENO);
            std::vector<char*> argv{const_cast<char*>(VEXO_E2E_CLIENT)};
            for (auto& arg : args) argv.push_back(arg.data());
            argv.push_back(nullptr);
            ::execv(VEXO_E2E_CLIENT, argv.data());
            ::_exit(127);
        }
        ::close(out[1]);
        output_ = ::fdopen(out[0], "r");
    }
    ~OtherProcess() { (void)stop(); }
    OtherProcess(const OtherProcess&) = delete;
    OtherProcess& operator=(const OtherProcess&) = delete;

    // The next line it prints, without its LF; empty at its end.
    std::string line() {
        char text[512];
        if (output_ == nullptr || std::fgets(text, sizeof text, output_) == nullptr) return {};
        std::string got = text;
        if (!got.empty() && got.back() == '\n') got.pop_back();
        return got;
    }
    // Its exit status, after Ctrl-C if it still runs.
    int stop() {
        if (pid_ <= 0) return -1;
        ::kill(pid_, SIGINT);
        return wait();
    }
    int wait() {
        if (pid_ <= 0) return -1;
        int status = 0;
        ::waitpid(pid_, &status, 0);
        pid_ = -1;
        if (output_ != nullptr) std::fclose(std::exchange(output_, nullptr));
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }

private:
    pid_t pid_ = -1;
    std::FILE* output_ = nullptr;
};

class UsbfsPath : public PassThruTest {
protected:
    void SetUp() override {
        if (!sim_controls().usbfs) GTEST_SKIP() << "needs the usbfs model behind the system's libusb";
        PassThruTest::SetUp();
        resolve("vexo_usbfs_bind_driver", usbfs.bind_driver);
        resolve("vexo_usbfs_pause_in", usbfs.pause_in);
        resolve("vexo_usbfs_nak_out", usbfs.nak_out);
    }

    template <class F>
    static void resolve(const char* name, F& into) {
        into = reinterpret_cast<F>(library_symbol(global_scope(), name));
        ASSERT_NE(into, nullptr) << name;
    }

    static std::size_t count_starting(const Strings& lines, const std::string& prefix) {
        return static_cast<std::size_t>(
            std::count_if(lines.begin(), lines.end(), [&](const std::string& line) { return line.starts_with(prefix); }));
    }

    UsbfsControls usbfs;
};

TEST_F(UsbfsPath, AnInTransferCutByItsTimeOutHoldingPartOfAFrameLosesAndRepeatsNothing) {
    open_device();
    connect(ISO15765, 500000);
    // 33 bytes of answer: four frames, 98 bytes on the wire. The first 64 come in full
    // packets, then the cable pauses, so the transfer waiting for more ends on its time-out
    // holding them: the first frame, the second and part of the third.
    const std::string answer = bytes({0x62, 0xF1, 0x90}) + std::string(30, 'A');
    ASSERT_EQ(usbfs.pause_in(0, 64, 800), 0);
    ASSERT_EQ(sim.deliver_can(6, 0x7E8, reinterpret_cast<const std::uint8_t*>(answer.data()), answer.size(), 9), 0);

    EXPECT_EQ(read(ISO15765, 1, 300).status, ERR_TIMEOUT);
    const auto rest = read(ISO15765, 1, 2000);
    ASSERT_EQ(rest.status, STATUS_NOERROR);
    ASSERT_EQ(rest.n, 1u);
    EXPECT_EQ(data_of(rest.msgs[0]), kEcuId + answer);
    EXPECT_EQ(read(ISO15765, 1, 0).status, ERR_BUFFER_EMPTY);

    const auto lines = log.take();
    const std::string frames = data_frame(6, 0x00, 9, kEcuId + answer.substr(0, 8)) +
                               data_frame(6, 0x00, 9, kEcuId + answer.substr(8, 8)) +
                               data_frame(6, 0x00, 9, kEcuId + answer.substr(16, 8)) +
                               data_frame(6, 0x00, 9, kEcuId + answer.substr(24, 8)) +
                               data_frame(6, 0x40, 9, kEcuId + answer.substr(32));
    ASSERT_EQ(frames.size(), 98u);
    EXPECT_EQ(count_starting(lines, wire_line("RX", frames.substr(0, 64))), 1u);
    EXPECT_EQ(count_starting(lines, wire_line("RX", frames.substr(64))), 1u);
    EXPECT_EQ(count_starting(lines, "[j2534] PassThruReadMsgs ERR ch=6 timeout=300 transport error: operation timed out"),
              1u);
}

TEST_F(UsbfsPath, RepliesInSeveralPacketsAndSeveralTransfersAreJoined) {
    // "ari" + 60 characters + CR LF: one full packet and one of a single byte.
    const std::string identity(60, 'p');
    ASSERT_EQ(sim.set_identity(identity.c_str()), 0);
    open_device();
    char firmware[80], dll[80], api[80];
    ASSERT_EQ(pt.PassThruReadVersion(1, firmware, dll, api), STATUS_NOERROR);
    EXPECT_EQ(std::string(firmware), identity);
    ASSERT_EQ(pt.PassThruClose(1), STATUS_NOERROR);

    // Each transfer ends after one packet now: the reply comes in two transfers.
    sim.set_read_chunk(64);
    log.skip();
    J2534_ULONG id = 0;
    ASSERT_EQ(pt.PassThruOpen(nullptr, &id), STATUS_NOERROR) << last_error();
    ASSERT_EQ(pt.PassThruReadVersion(id, firmware, dll, api), STATUS_NOERROR);
    EXPECT_EQ(std::string(firmware), identity);
    const auto lines = log.take();
    EXPECT_EQ(count_starting(lines, "[tactrix] tactrix RX wire: 64 bytes [61 72 69 70 70"), 1u);
    EXPECT_EQ(count_starting(lines, "[tactrix] tactrix RX wire: 1 bytes [0A]"), 1u);
}

TEST_F(UsbfsPath, AnOutTransferNakedPastTheWriteTimeOutAfterPartOfACommand) {
    open_device();
    connect(ISO15765, 500000);
    // "att6 104 64\r\n" and 104 bytes: the cable takes one packet, then NAKs for 800 ms.
    PASSTHRU_MSG msg = passthru_msg(ISO15765, 0, {0x00, 0x00, 0x07, 0xE0});
    msg.DataSize = 104;
    ASSERT_EQ(usbfs.nak_out(0, 64, 800), 0);
    const auto started = Clock::now();
    EXPECT_EQ(write(ISO15765, msg, 200), ERR_TIMEOUT);
    EXPECT_LT(Clock::now() - started, milliseconds(800));
    EXPECT_EQ(last_error(), "transport error: operation timed out");
    // What the cable took is one whole packet of the command, no more.
    const std::string taken = wire.take();
    EXPECT_EQ(taken.size(), 64u);
    EXPECT_TRUE(taken.starts_with("att6 104 64\r\n")) << taken;
}

// The rest of the command cut short goes out before the next one, so the cable's parser is back
// in step and the next command is answered.
TEST_F(UsbfsPath, TheCableIsBackInStepAfterACommandCutShortByANak) {
    open_device();
    connect(ISO15765, 500000);
    PASSTHRU_MSG msg = passthru_msg(ISO15765, 0, {0x00, 0x00, 0x07, 0xE0});
    msg.DataSize = 104;
    ASSERT_EQ(usbfs.nak_out(0, 64, 300), 0);
    ASSERT_EQ(write(ISO15765, msg, 100), ERR_TIMEOUT);
    std::this_thread::sleep_for(milliseconds(400));
    J2534_ULONG millivolts = 0;
    EXPECT_EQ(pt.PassThruIoctl(1, READ_VBATT, nullptr, &millivolts), STATUS_NOERROR) << last_error();
    EXPECT_EQ(millivolts, 12600u);
}

TEST_F(UsbfsPath, UnpluggingDuringAReadEndsItPromptlyAndTheCableIsThenMissing) {
    open_device();
    connect(ISO15765, 500000);
    std::thread unplug([this] {
        std::this_thread::sleep_for(milliseconds(300));
        sim.unplug(0);
    });
    const auto started = Clock::now();
    const auto got = read(ISO15765, 1, 5000);
    const auto took = Clock::now() - started;
    unplug.join();
    EXPECT_EQ(got.status, ERR_DEVICE_NOT_CONNECTED);
    EXPECT_LT(took, milliseconds(2500));
    EXPECT_EQ(last_error(), "transport error: I/O error: No such device (it may have been disconnected)");
    EXPECT_EQ(pt.PassThruClose(1), STATUS_NOERROR);

    J2534_ULONG id = 0;
    EXPECT_EQ(pt.PassThruOpen(nullptr, &id), ERR_DEVICE_NOT_CONNECTED);
    EXPECT_EQ(last_error(), kNotFound);
}

TEST_F(UsbfsPath, ASilentCableFailsTheOpenAfterItsWindowAndLetsGoOfTheInterface) {
    ASSERT_EQ(sim.silence('i', 1), 0);
    J2534_ULONG id = 0;
    const auto started = Clock::now();
    EXPECT_EQ(pt.PassThruOpen(nullptr, &id), ERR_TIMEOUT);
    const auto took = Clock::now() - started;
    EXPECT_GT(took, milliseconds(1800));
    EXPECT_LT(took, milliseconds(4000));
    EXPECT_EQ(last_error(), "transport error: operation timed out");
    // Were the interface still claimed here, another program would find the cable in use.
    OtherProcess other({"info"});
    EXPECT_EQ(other.line(), std::string("library:  ") + VEXO_E2E_LIBRARY);
    EXPECT_EQ(other.line(), "firmware: Openport 2.0 sim 1.17.4877");
    EXPECT_EQ(other.wait(), 0);
}

TEST_F(UsbfsPath, KernelDriversBoundToBothInterfacesAreDetached) {
    ASSERT_EQ(usbfs.bind_driver(0, 0, "ftdi_sio"), 0);
    ASSERT_EQ(usbfs.bind_driver(0, 1, "ftdi_sio"), 0);
    open_device();
    J2534_ULONG millivolts = 0;
    ASSERT_EQ(pt.PassThruIoctl(1, READ_VBATT, nullptr, &millivolts), STATUS_NOERROR) << last_error();
    EXPECT_EQ(millivolts, 12600u);
}

TEST_F(UsbfsPath, AnInterfaceAnotherProcessHoldsIsInUseUntilItLetsGo) {
    OtherProcess other({"monitor"});
    EXPECT_EQ(other.line(), "monitoring CAN at 500000 baud, id 000 mask 000; Ctrl-C stops");
    J2534_ULONG id = 0;
    EXPECT_EQ(pt.PassThruOpen(nullptr, &id), ERR_DEVICE_NOT_CONNECTED);
    EXPECT_EQ(last_error(), "transport error: I/O error: Tactrix in use by another program (Resource busy)");
    EXPECT_EQ(other.stop(), 130);
    EXPECT_EQ(pt.PassThruOpen(nullptr, &id), STATUS_NOERROR) << last_error();
}

TEST_F(UsbfsPath, WithTwoCablesTheOneNobodyHoldsIsOpened) {
    sim.attach_cables(1);
    OtherProcess other({"monitor"});
    EXPECT_EQ(other.line(), "monitoring CAN at 500000 baud, id 000 mask 000; Ctrl-C stops");
    J2534_ULONG id = 0;
    ASSERT_EQ(pt.PassThruOpen(nullptr, &id), STATUS_NOERROR) << last_error();
    // The monitor holds the first cable and identified it once; this session took the second.
    const Strings first_cable = cable_commands();
    EXPECT_EQ(std::count(first_cable.begin(), first_cable.end(), "ati"), 1);
    J2534_ULONG millivolts = 0;
    EXPECT_EQ(pt.PassThruIoctl(id, READ_VBATT, nullptr, &millivolts), STATUS_NOERROR);
    EXPECT_EQ(other.stop(), 130);
}

}  // namespace
}  // namespace vexo::e2e
