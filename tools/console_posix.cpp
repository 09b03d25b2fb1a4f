#include <signal.h>
#include <unistd.h>

#include <atomic>

#include "console.h"
#include "vexo/udev_rule.h"

namespace vexo::tools {

namespace {

std::atomic<bool> interrupt_flag{false};
static_assert(std::atomic<bool>::is_always_lock_free, "set from a signal handler");

extern "C" void on_interrupt(int) { interrupt_flag.store(true); }
extern "C" void on_broken_pipe(int) {}

}  // namespace

void install_interrupt_handler() {
    struct sigaction action {};
    action.sa_handler = on_interrupt;
    sigemptyset(&action.sa_mask);
    // No SA_RESTART: a blocking read of stdin returns, so a pending y/N question ends too.
    action.sa_flags = SA_RESETHAND;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    // A reader that went away (vexo monitor | head) fails the write with EPIPE, which ends the command
    // with the cable closed. A handler, not SIG_IGN, which the shell of --key-cmd would inherit.
    struct sigaction pipe_action {};
    pipe_action.sa_handler = on_broken_pipe;
    sigemptyset(&pipe_action.sa_mask);
    sigaction(SIGPIPE, &pipe_action, nullptr);
}

bool interrupt_requested() { return interrupt_flag.load(); }

void prepare_console() {}

bool stdout_is_terminal() { return isatty(STDOUT_FILENO) == 1; }

std::string_view usb_access_hint() {
    return "If the cable is plugged in, this user may not be allowed to open USB device 0403:cc4d.\n"
           "The udev rule " VEXO_UDEV_RULE_FILE " allows it; the vexo-j2534 package installs it in\n"
           "/lib/udev/rules.d/. Otherwise copy it to /etc/udev/rules.d/; it reads:\n"
           "  " VEXO_UDEV_RULE_LINE "\n"
           "then run 'sudo udevadm control --reload-rules && sudo udevadm trigger'. The desktop user\n"
           "gets access at once; others join the plugdev group ('sudo usermod -aG plugdev $USER')\n"
           "and log in again.";
}

}  // namespace vexo::tools
