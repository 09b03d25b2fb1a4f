#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "core/passthru_error.h"

namespace vexo {

// The process-wide text of the most recent failure, read by PassThruGetLastError.
namespace last_error {

// Replaces the text; does nothing when the lock is broken.
void store(std::string text);
// A copy of the text, or nothing when the lock is broken.
std::optional<std::string> copy();

}  // namespace last_error

// The one conversion of an error into a status: stores the error's text in LastError.
std::uint32_t to_status(const PassThruError& error);

}  // namespace vexo
