#include "library_location.h"

#include <system_error>

namespace vexo::tools {

std::vector<std::filesystem::path> j2534_library_candidates(const std::filesystem::path& exe_dir,
                                                            std::string_view file_name) {
    // bin/ and lib/ side by side is how the release tarball and most installs lay it out.
    return {exe_dir / file_name, exe_dir.parent_path() / file_name, exe_dir.parent_path() / "lib" / file_name};
}

std::vector<std::filesystem::path> sim_usb_candidates(const std::filesystem::path& exe_dir,
                                                      std::string_view file_name) {
    const std::filesystem::path parent = exe_dir.parent_path();
    // Build trees first, then the private directory an installed copy keeps it in, out of the
    // linker's way: nothing but 'vexo --sim' may ever bind the stand-in.
    return {exe_dir / "simusb" / file_name, parent / "simusb" / file_name, parent / "sim" / "simusb" / file_name,
            parent / "sim" / file_name, parent / "lib" / "vexo-j2534" / file_name};
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
