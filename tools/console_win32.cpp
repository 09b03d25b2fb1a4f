#include <windows.h>

#include <atomic>

#include "console.h"

#ifndef ENABLE_VIRTUAL_TERMINAL_PROCESSING
#define ENABLE_VIRTUAL_TERMINAL_PROCESSING 0x0004
#endif

namespace vexo::tools {

namespace {

std::atomic<bool> interrupt_flag{false};

BOOL WINAPI on_console_event(DWORD event) {
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT) return FALSE;
    // The second request falls through to the default handler, which ends the process.
    return interrupt_flag.exchange(true) ? FALSE : TRUE;
}

}  // namespace

void install_interrupt_handler() { SetConsoleCtrlHandler(on_console_event, TRUE); }

bool interrupt_requested() { return interrupt_flag.load(); }

void prepare_console() {
    SetConsoleOutputCP(CP_UTF8);
    const HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    DWORD mode = 0;
    if (out != INVALID_HANDLE_VALUE && GetConsoleMode(out, &mode)) {
        SetConsoleMode(out, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING);
    }
}

bool stdout_is_terminal() {
    DWORD mode = 0;
    return GetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), &mode) != 0;
}

std::string_view usb_access_hint() { return {}; }

}  // namespace vexo::tools
