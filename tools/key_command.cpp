#include "key_command.h"

#include <cstdio>

#include "hex_text.h"

namespace vexo::tools {

Result<std::vector<std::uint8_t>> key_from_command(const std::string& command, std::span<const std::uint8_t> seed) {
    std::string seed_text;
    for (const std::uint8_t byte : seed) seed_text += hex_u32(byte, 2);
    // sh and cmd.exe both read "echo X| (CMD)" alike: the parentheses give a command list all of the
    // input; hexadecimal digits need no quoting in either.
    const std::string line = "echo " + seed_text + "| (" + command + ")";
    std::FILE* pipe = popen(line.c_str(), "r");
    if (pipe == nullptr) return tool_failure("--key-cmd: cannot run '" + command + "'");
    std::string output;
    char buffer[256];
    while (const std::size_t n = std::fread(buffer, 1, sizeof buffer, pipe)) output.append(buffer, n);
    const int status = pclose(pipe);
    if (status != 0) return tool_failure("--key-cmd '" + command + "' failed (status " + std::to_string(status) + ")");
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
