#pragma once

#include <string>

#include "command_line.h"

namespace vexo::tools {

// `vexo --help` for Command::None, `vexo CMD --help` otherwise.
std::string help_text(Command command);

}  // namespace vexo::tools
