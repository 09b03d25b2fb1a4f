#pragma once

#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "abi.h"

// Where the client looks for the libraries it loads when no path is given. An installed client sits
// beside them; in the build tree the client is <build>/tools/vexo and the J2534 library <build>/<name>.
namespace vexo::tools {

// <exe_dir>/<name>, then <exe_dir>/../<name>.
std::vector<std::filesystem::path> j2534_library_candidates(const std::filesystem::path& exe_dir,
                                                            std::string_view file_name);
// <exe_dir>/simusb/<name>, then the build tree: <exe_dir>/../simusb/<name>, <exe_dir>/../sim/simusb/<name>,
// <exe_dir>/../sim/<name>. The stand-in never sits directly beside the client, where it could be taken
// for the machine's real libusb.
std::vector<std::filesystem::path> sim_usb_candidates(const std::filesystem::path& exe_dir, std::string_view file_name);

// --lib NAME: a bare file name the loader would only look for on its own search path is also
// looked for in `cwd`, as a user who just built or unpacked the library there expects.
std::filesystem::path given_library(const std::filesystem::path& given, const std::filesystem::path& cwd);

// The layout of `library`: the one given (--abi), else fixed32 for a file whose name ends in
// _fixed32 before its extension (libvexo_j2534_0404_fixed32.so), else the platform's.
Abi library_abi(const std::filesystem::path& library, std::optional<Abi> given);

// The first candidate that exists as a file.
std::optional<std::filesystem::path> first_existing(std::span<const std::filesystem::path> candidates);

// A path as UTF-8 text for messages and JSON; unlike path::string() it cannot throw on Windows.
std::string path_text(const std::filesystem::path& path);
// Paths joined by ", ".
std::string path_list(std::span<const std::filesystem::path> paths);

}  // namespace vexo::tools
