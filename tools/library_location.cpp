#include "library_location.h"

#include <system_error>

namespace vexo::tools {

namespace {

// Where the simulated cable's stand-in may be, in the order it is looked for: a directory beside
// the client's or beside the one above it, and what puts it there.
struct SimUsbPlace {
    bool above;
    std::string_view directory;  // '/'-separated; empty: the client's own
    std::string_view note;       // what puts it there, where it is not a build tree
};
#if defined(_WIN32)
// A test build ships the stand-in as the libusb-1.0.dll beside vexo.exe.
constexpr SimUsbPlace kInstalledPlace = {false, "", "in a test build"};
#else
// The private directory an installed copy keeps it in, out of the linker's way: nothing but
// 'vexo --sim' may ever bind the stand-in.
constexpr SimUsbPlace kInstalledPlace = {true, "lib/vexo-j2534", "installed"};
#endif
// Build trees first.
constexpr SimUsbPlace kSimUsbPlaces[] = {
    {false, "simusb", ""}, {true, "simusb", ""}, {true, "sim/simusb", ""}, {true, "sim", ""}, kInstalledPlace};

// "../sim/simusb/", with this platform's separator.
std::string directory_text(bool above, std::string_view directory) {
    std::string text = above ? ".." + std::string(1, kPathSeparator) : "";
    for (const char c : directory) text += c == '/' ? kPathSeparator : c;
    return text + kPathSeparator;
}

}  // namespace

std::vector<std::filesystem::path> j2534_library_candidates(const std::filesystem::path& exe_dir,
                                                            std::string_view file_name) {
    // bin/ and lib/ side by side is how the release tarball and most installs lay it out.
    return {exe_dir / file_name, exe_dir.parent_path() / file_name, exe_dir.parent_path() / "lib" / file_name};
}

std::vector<std::filesystem::path> sim_usb_candidates(const std::filesystem::path& exe_dir,
                                                      std::string_view file_name) {
    std::vector<std::filesystem::path> candidates;
    for (const SimUsbPlace& place : kSimUsbPlaces) {
        std::filesystem::path directory = place.above ? exe_dir.parent_path() : exe_dir;
        if (!place.directory.empty()) directory /= std::filesystem::path(place.directory).make_preferred();
        candidates.push_back(directory / file_name);
    }
    return candidates;
}

std::string j2534_library_search_text() {
    return std::string(kJ2534LibraryFileName) + " beside " + std::string(kClientFileName) +
           ", then in the directory above it, where a build tree puts it, then in " + directory_text(true, "lib");
}

std::string sim_usb_search_text() {
    const std::string client(kClientFileName);
    const std::size_t count = std::size(kSimUsbPlaces);
    std::string text;
    for (std::size_t i = 0; i < count; ++i) {
        const SimUsbPlace& place = kSimUsbPlaces[i];
        text += i == 0 ? "" : i == 1 ? ", then " : i + 1 == count ? " and" : ", ";
        if (!place.note.empty()) text += ", " + std::string(place.note) + ",";
        if (i + 1 == count) text += " ";
        if (place.directory.empty()) {
            text += "the " + std::string(kUsbLibraryFileName) + " beside " + client;
        } else {
            text += directory_text(place.above, place.directory) + (i == 0 ? " beside " + client : "");
        }
    }
    return text;
}

std::filesystem::path given_library(const std::filesystem::path& given, const std::filesystem::path& cwd) {
    if (given.has_parent_path() || given.is_absolute()) return given;
    const std::filesystem::path local = cwd / given;
    std::error_code error;
    return std::filesystem::is_regular_file(local, error) ? local : given;
}

Abi library_abi(const std::filesystem::path& library, std::optional<Abi> given) {
    if (given) return *given;
    return path_text(library.stem()).ends_with("_fixed32") ? Abi::Fixed32 : Abi::Platform;
}

std::optional<std::filesystem::path> first_existing(std::span<const std::filesystem::path> candidates) {
    for (const std::filesystem::path& candidate : candidates) {
        std::error_code error;
        if (std::filesystem::is_regular_file(candidate, error)) return candidate;
    }
    return std::nullopt;
}

std::string path_text(const std::filesystem::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

std::string path_list(std::span<const std::filesystem::path> paths) {
    std::string text;
    for (const std::filesystem::path& path : paths) text += (text.empty() ? "" : ", ") + path_text(path);
    return text;
}

}  // namespace vexo::tools
