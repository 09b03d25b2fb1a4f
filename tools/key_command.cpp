#include <cstdio>

#if !defined(_WIN32)
#include <sys/wait.h>
#endif

#include "core/text_format.h"
#include "hex_text.h"
#include "uds_requests.h"

namespace vexo::tools {

namespace {

// How the command ended, as a user reads it: "exit code 7", "killed by signal 9".
std::string ending(int status) {
#if defined(_WIN32)
    return "exit code " + std::to_string(status);
#else
    if (status == -1) return "no exit status";
    if (WIFEXITED(status)) return "exit code " + std::to_string(WEXITSTATUS(status));
    if (WIFSIGNALED(status)) return "killed by signal " + std::to_string(WTERMSIG(status));
    return "status " + std::to_string(status);
#endif
}

}  // namespace

Result<std::vector<std::uint8_t>> key_from_command(const std::string& command, std::span<const std::uint8_t> seed) {
    // sh and cmd.exe both read "echo X| (CMD)" alike: the parentheses give a command list all of the
    // input; hexadecimal digits need no quoting in either.
    const std::string line = "echo " + text::byte_list(seed, "") + "| (" + command + ")";
    std::FILE* pipe = popen(line.c_str(), "r");
    if (pipe == nullptr) return tool_failure("--key-cmd: cannot run '" + command + "'");
    std::string output;
    char buffer[256];
    while (const std::size_t n = std::fread(buffer, 1, sizeof buffer, pipe)) output.append(buffer, n);
    const int status = pclose(pipe);
    if (status != 0) return tool_failure("--key-cmd '" + command + "' failed (" + ending(status) + ")");
    while (!output.empty() && (output.back() == '\n' || output.back() == '\r' || output.back() == ' ')) {
        output.pop_back();
    }
    const auto key = parse_hex_bytes(output);
    if (!key || key->empty()) {
        return tool_failure("--key-cmd '" + command + "' printed no key as hexadecimal bytes: '" + output + "'");
    }
    return *key;
}

}  // namespace vexo::tools
