#pragma once

#include <filesystem>
#include <string>
#include <string_view>

// The file through which Linux J2534 applications find a device's library: one JSON object per
// device in ~/.passthru, naming the library and the protocols it carries.
namespace vexo::tools {

inline constexpr std::string_view kPassThruJsonFileName = "vexo-j2534.json";

// The file naming `function_library` (an absolute path), one key a line.
std::string passthru_json(const std::filesystem::path& function_library);

// Whether `text` is a file passthru_json wrote, wherever it points: it begins with the same NAME
// and VENDOR lines. Any other file is the user's or another program's.
bool is_vexo_passthru_json(std::string_view text);

}  // namespace vexo::tools
