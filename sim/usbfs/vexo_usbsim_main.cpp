// vexo-usbsim [--sim-vehicle NAME] [--sim-cables N] [--node-mode OCTAL] -- COMMAND ARGS...
// Shows simulated cables to the machine's own libusb through a umockdev testbed and runs
// COMMAND under umockdev's preload, so that it meets them as the kernel would show them.
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "sim/sim_control.h"
#include "sim/usbfs/usbfs_testbed.h"

namespace {

constexpr const char* kPreload = "libumockdev-preload.so.0";

int usage(const char* why) {
    std::fprintf(stderr,
                 "vexo-usbsim: %s\n"
                 "usage: vexo-usbsim [--sim-vehicle NAME] [--sim-cables N] [--node-mode OCTAL] -- COMMAND ARGS...\n",
                 why);
    return 2;
}

bool preloaded() {
    const char* given = std::getenv("LD_PRELOAD");
    return given != nullptr && std::strstr(given, kPreload) != nullptr;
}

// Ahead of whatever is preloaded already: the preload must see every open().
void add_preload() {
    const char* given = std::getenv("LD_PRELOAD");
    std::string value = kPreload;
    if (given != nullptr && *given != '\0') value += std::string(":") + given;
    ::setenv("LD_PRELOAD", value.c_str(), 1);
}

}  // namespace

int main(int argc, char** argv) {
    // umockdev builds and announces its devices through the preload too, so the launcher
    // runs under it as well as the command.
    if (!preloaded()) {
        add_preload();
        ::execv("/proc/self/exe", argv);
        std::perror("vexo-usbsim: re-exec under the preload");
        return 1;
    }
    std::string vehicle = "demo";
    unsigned long cables = 1;
    long mode = -1;
    int i = 1;
    for (; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--") break;
        if (i + 1 >= argc) return usage(("missing value for " + std::string(arg)).c_str());
        if (arg == "--sim-vehicle") {
            vehicle = argv[++i];
        } else if (arg == "--sim-cables") {
            cables = std::strtoul(argv[++i], nullptr, 10);
            if (cables > 8) return usage("--sim-cables takes 0 to 8");
        } else if (arg == "--node-mode") {
            mode = std::strtol(argv[++i], nullptr, 8);
        } else {
            return usage(("unknown option " + std::string(arg)).c_str());
        }
    }
    if (i + 1 >= argc) return usage("no command after --");

    vexo::sim::usbfs::mirror_bus();
    auto& testbed = vexo::sim::usbfs::testbed();
    if (!vexo::sim::set_vehicle(vehicle)) return usage(("unknown vehicle " + vehicle).c_str());
    if (cables > 0) vexo::sim::attach_cables(static_cast<unsigned>(cables));
    if (mode >= 0) {
        for (unsigned d = 0; d < cables; ++d) testbed.set_node_mode(d, static_cast<mode_t>(mode));
    }

    const pid_t child = ::fork();
    if (child < 0) {
        std::perror("vexo-usbsim: fork");
        return 1;
    }
    if (child == 0) {
        ::execvp(argv[i + 1], argv + i + 1);
        std::fprintf(stderr, "vexo-usbsim: cannot run %s: %s\n", argv[i + 1], std::strerror(errno));
        ::_exit(127);
    }
    int status = 0;
    while (::waitpid(child, &status, 0) < 0) {
        if (errno != EINTR) return 1;
    }
    if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
    return WEXITSTATUS(status);
}
