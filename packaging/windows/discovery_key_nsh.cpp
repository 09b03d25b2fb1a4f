// Writes the NSIS macros that make and remove the registry key DllRegisterServer writes, from
// the same discovery_key(), so the installer and regsvr32 can never disagree.
#include <cstdio>
#include <string>
#include <type_traits>
#include <variant>

#include "core/self_registration.h"

namespace {

// NSIS strings: $ starts a variable and " ends the string.
std::string nsis_text(const std::string& text) {
    std::string quoted;
    for (char c : text) {
        if (c == '$') quoted += "$$";
        else if (c == '"') quoted += "$\\\"";
        else quoted += c;
    }
    return quoted;
}

}  // namespace

int main() {
    constexpr char kDllParameter[] = "\x01";  // stands for the macro's DLL argument
    const vexo::platform::RegistryKey key = vexo::discovery_key(kDllParameter);
    const std::string path = nsis_text(key.path);
    std::printf("; Generated from discovery_key() in src/core/self_registration.cpp.\n");
    std::printf("!define VEXO_DISCOVERY_PARENT \"%s\"\n", nsis_text(std::string(vexo::kDiscoveryParentPath)).c_str());
    std::printf("!define VEXO_DISCOVERY_KEY \"%s\"\n", path.c_str());
    std::printf("!macro VexoWriteDiscoveryKey DLL\n");
    for (const auto& value : key.values) {
        std::visit(
            [&](const auto& data) {
                using Data = std::decay_t<decltype(data)>;
                if constexpr (std::is_same_v<Data, std::string>) {
                    const std::string text = data == kDllParameter ? std::string("${DLL}") : nsis_text(data);
                    std::printf("  WriteRegStr HKLM \"%s\" \"%s\" \"%s\"\n", path.c_str(), nsis_text(value.name).c_str(),
                                text.c_str());
                } else {
                    std::printf("  WriteRegDWORD HKLM \"%s\" \"%s\" %u\n", path.c_str(), nsis_text(value.name).c_str(),
                                static_cast<unsigned>(data));
                }
            },
            value.data);
    }
    std::printf("!macroend\n");
    return 0;
}
