#pragma once

#include <expected>
#include <string>

#include "tactrix/libusb_api.h"

namespace vexo::tactrix {

// The libusb this binary talks to. Each final binary links exactly one definition (see
// binding/): the libusb it was linked against, or the Windows DLL's libusb-1.0.dll, loaded
// at run time so that the DLL itself loads where libusb is missing. Called once, while the
// process context is made; the error text is for the user.
std::expected<const LibusbApi*, std::string> bound_libusb_api();

}  // namespace vexo::tactrix
