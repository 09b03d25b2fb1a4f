#pragma once

#include <optional>
#include <string>
#include <string_view>

// Process environment as UTF-8 text, the way the log file's lookup sees it on each platform
// (the wide environment block on Windows). Tests steer the log directory with it.
namespace vexo::platform {

std::optional<std::string> environment_value(const std::string& name);
// nullopt removes the variable.
void set_environment_value(const std::string& name, const std::optional<std::string>& value);

}  // namespace vexo::platform
