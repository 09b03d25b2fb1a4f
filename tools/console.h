#pragma once

#include <string_view>

namespace vexo::tools {

// Ctrl-C (and SIGTERM where it exists): the first one asks every loop to stop, so the device is
// disconnected and closed cleanly; a second one ends the process at once. Where pipes signal a
// reader that went away, the write fails instead, and so does the command.
void install_interrupt_handler();
bool interrupt_requested();

// Lets UTF-8 text and cursor escape sequences through to the terminal.
void prepare_console();
bool stdout_is_terminal();

// What keeps a plugged-in cable from being seen, on this platform; empty when there is nothing to add.
std::string_view usb_access_hint();

}  // namespace vexo::tools
