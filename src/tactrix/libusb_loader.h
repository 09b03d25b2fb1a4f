#pragma once

#include <expected>
#include <string>

#include "tactrix/libusb_api.h"

namespace vexo::tactrix {

// Loads the libusb shared library `file_name` beside this binary or through the system
// search, and fills the table from it. The error text says what is missing and where it
// was looked for.
std::expected<LibusbApi, std::string> load_libusb_api(const std::string& file_name);

}  // namespace vexo::tactrix
