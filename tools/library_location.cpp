#include "library_location.h"

#include <system_error>

namespace vexo::tools {

std::vector<std::filesystem::path> j2534_library_candidates(const std::filesystem::path& exe_dir,
                                                            std::string_view file_name) {
    return {exe_dir / file_name, exe_dir.parent_path() / file_name};
}

std::vector<std::filesystem::path> sim_usb_candidates(const std::filesystem::path& exe_dir,
                                                      std::string_view file_name) {
    const std::filesystem::path parent = exe_dir.parent_path();
    return {exe_dir / "simusb" / file_name, parent / "simusb" / file_name, parent / "sim" / "simusb" / file_name,
            parent / "sim" / file_name};
}

std::optional<std::filesystem::path> first_existing(std::span<const std::filesystem::path> candidates) {
    for (const std::filesystem::path& candidate : candidates) {
        std::error_code error;
        if (std::filesystem::is_regular_file(candidate, error)) return candidate;
    }
    return std::nullopt;
}

}  // namespace vexo::tools
