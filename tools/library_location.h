#pragma once

#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

// Which libraries the client loads, in which record layout, and where it looks for them when no
// path is given. An installed client sits beside them; in the build tree the client is
// <build>/tools/vexo and the J2534 library <build>/<name>.
namespace vexo::tools {

// The record layouts of include/vexo/j2534.h a J2534 library may have been built for: the
// standard's unsigned long as this platform has it (64 bits on 64-bit Linux), or fixed 32-bit
// fields. A library file cannot tell which it has, so the client is told.
enum class Abi { Platform, Fixed32 };

// As --abi names them.
constexpr std::string_view abi_name(Abi abi) { return abi == Abi::Fixed32 ? "fixed32" : "platform"; }

// The platform's file names, and the separator its users write paths with.
#if defined(_WIN32)
inline constexpr std::string_view kClientFileName = "vexo.exe";
inline constexpr std::string_view kJ2534LibraryFileName = "vexo_j2534_0404.dll";
// Windows' unsigned long has 32 bits: the one DLL has both layouts.
inline constexpr std::string_view kJ2534Fixed32LibraryFileName = kJ2534LibraryFileName;
inline constexpr std::string_view kUsbLibraryFileName = "libusb-1.0.dll";
inline constexpr char kPathSeparator = '\\';
#else
inline constexpr std::string_view kClientFileName = "vexo";
inline constexpr std::string_view kJ2534LibraryFileName = "libvexo_j2534_0404.so";
inline constexpr std::string_view kJ2534Fixed32LibraryFileName = "libvexo_j2534_0404_fixed32.so";
inline constexpr std::string_view kUsbLibraryFileName = "libusb-1.0.so.0";
inline constexpr char kPathSeparator = '/';
#endif

// <exe_dir>/<name>, then <exe_dir>/../<name>, then <exe_dir>/../lib/<name>.
std::vector<std::filesystem::path> j2534_library_candidates(const std::filesystem::path& exe_dir,
                                                            std::string_view file_name);
// <exe_dir>/simusb/<name>, then the build tree: <exe_dir>/../simusb/<name>, <exe_dir>/../sim/simusb/<name>,
// <exe_dir>/../sim/<name>; then where an installed copy keeps it. On Linux the stand-in never sits
// directly beside the client, where it could be taken for the machine's real libusb; a Windows test
// build ships it as the libusb-1.0.dll beside vexo.exe.
std::vector<std::filesystem::path> sim_usb_candidates(const std::filesystem::path& exe_dir, std::string_view file_name);

// The two searches above as --help states them, with this platform's names and separators.
std::string j2534_library_search_text();
std::string sim_usb_search_text();

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
