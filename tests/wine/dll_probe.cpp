// Loads the shipped DLL the way an application does and opens a cable through it.
//   dll_probe DLL                  no libusb anywhere: PassThruOpen must fail cleanly
//   dll_probe DLL SIMULATED_LIBUSB  the simulated cable, loaded first, serves the DLL
//   dll_probe --installed DLL      the DLL by full path from its install folder, with the simulated
//                                  cable as libusb-1.0.dll beside it and nowhere else: the DLL
//                                  must find it there by itself, as for a real application
//   dll_probe --application DLL    the same, as an application that knows nothing of the simulation:
//                                  VEXO_SIM_CABLES attaches the cable, and the VIN is read over ISO15765
// Prints "N passed, M failed" and exits non-zero on any failure.
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <initializer_list>
#include <string>

#include "vexo/j2534.h"

namespace {

int passes = 0;
int failures = 0;

void check(bool ok, const std::string& what) {
    std::printf("%s: %s\n", ok ? "ok" : "FAILED", what.c_str());
    ++(ok ? passes : failures);
}

template <typename Function>
Function symbol(HMODULE module, const char* name) {
    return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

std::wstring wide(const char* text) {
    std::wstring out;
    for (; *text != '\0'; ++text) out.push_back(static_cast<unsigned char>(*text));
    return out;
}

// The Windows form of the folder holding `path`, with its trailing backslash.
std::string folder_of(const char* path) {
    char full[MAX_PATH] = {};
    GetFullPathNameA(path, MAX_PATH, full, nullptr);
    std::string text = full;
    return text.substr(0, text.find_last_of("\\/") + 1);
}

using OpenFn = uint32_t(J2534_CALL*)(void*, uint32_t*);
using CloseFn = uint32_t(J2534_CALL*)(uint32_t);
using VersionFn = uint32_t(J2534_CALL*)(uint32_t, char*, char*, char*);
using LastErrorFn = uint32_t(J2534_CALL*)(char*);
using ConnectFn = uint32_t(J2534_CALL*)(uint32_t, uint32_t, uint32_t, uint32_t, uint32_t*);
using DisconnectFn = uint32_t(J2534_CALL*)(uint32_t);
using FilterFn = uint32_t(J2534_CALL*)(uint32_t, uint32_t, PASSTHRU_MSG*, PASSTHRU_MSG*, PASSTHRU_MSG*, uint32_t*);
using MsgsFn = uint32_t(J2534_CALL*)(uint32_t, PASSTHRU_MSG*, uint32_t*, uint32_t);

std::string module_path(HMODULE module) {
    char path[MAX_PATH] = {};
    GetModuleFileNameA(module, path, MAX_PATH);
    return path;
}

HMODULE load_by_full_path(const char* dll_path) {
    const HMODULE dll = LoadLibraryW(wide(dll_path).c_str());
    check(dll != nullptr, std::string("the DLL loads by its full path ") + dll_path);
    return dll;
}

int installed(const char* dll_path) {
    check(GetModuleHandleW(L"libusb-1.0.dll") == nullptr, "no libusb-1.0.dll is loaded before the DLL");
    const HMODULE dll = load_by_full_path(dll_path);
    if (dll == nullptr) return 1;
    auto open = symbol<OpenFn>(dll, "PassThruOpen");
    auto close = symbol<CloseFn>(dll, "PassThruClose");
    auto version = symbol<VersionFn>(dll, "PassThruReadVersion");
    auto last_error = symbol<LastErrorFn>(dll, "PassThruGetLastError");
    if (!(open && close && version && last_error)) return 1;

    // No cable yet: the open reaches libusb and finds no device, which proves libusb was found.
    uint32_t device = 0;
    char text[80] = {};
    const uint32_t missing = open(nullptr, &device);
    last_error(text);
    std::printf("PassThruOpen without a cable -> 0x%02x (%s)\n", static_cast<unsigned>(missing), text);
    check(missing == ERR_DEVICE_NOT_CONNECTED && std::string(text) == "transport error: I/O error: Tactrix not found (VID=0x0403 PID=0xcc4d)",
          "libusb-1.0.dll was found: the open fails only for want of a cable");
    const HMODULE usb = GetModuleHandleW(L"libusb-1.0.dll");
    check(usb != nullptr, "the DLL loaded libusb-1.0.dll");
    if (usb == nullptr) return 1;
    const std::string beside = folder_of(dll_path) + "libusb-1.0.dll";
    check(_stricmp(module_path(usb).c_str(), beside.c_str()) == 0,
          "it is the one beside the DLL: " + module_path(usb) + " (expected " + beside + ")");

    symbol<void (*)()>(usb, "vexo_sim_reset")();
    symbol<unsigned (*)(unsigned)>(usb, "vexo_sim_attach_cables")(1);
    const uint32_t status = open(nullptr, &device);
    check(status == STATUS_NOERROR && device == 1, "with a cable attached the open succeeds as device 1");
    char firmware[80] = {}, dll_version[80] = {}, api[80] = {};
    // Read first: the message below must not be built before the call fills the texts.
    const uint32_t read = version(device, firmware, dll_version, api);
    check(read == STATUS_NOERROR && std::string(api) == "04.04" && firmware[0] != '\0',
          std::string("versions read: firmware '") + firmware + "'");
    check(close(device) == STATUS_NOERROR, "the cable closes");
    std::printf("%d passed, %d failed\n", passes, failures);
    return failures == 0 ? 0 : 1;
}

PASSTHRU_MSG iso15765(std::initializer_list<uint8_t> data, uint32_t tx_flags = 0) {
    PASSTHRU_MSG msg{};
    msg.ProtocolID = ISO15765;
    msg.TxFlags = tx_flags;
    for (const uint8_t byte : data) msg.Data[msg.DataSize++] = byte;
    msg.ExtraDataIndex = msg.DataSize;
    return msg;
}

// What any J2534 application does to read the VIN; the cable is there only because the environment
// asked the stand-in for one.
int application(const char* dll_path) {
    const HMODULE dll = load_by_full_path(dll_path);
    if (dll == nullptr) return 1;
    auto open = symbol<OpenFn>(dll, "PassThruOpen");
    auto close = symbol<CloseFn>(dll, "PassThruClose");
    auto connect = symbol<ConnectFn>(dll, "PassThruConnect");
    auto disconnect = symbol<DisconnectFn>(dll, "PassThruDisconnect");
    auto start_filter = symbol<FilterFn>(dll, "PassThruStartMsgFilter");
    auto write = symbol<MsgsFn>(dll, "PassThruWriteMsgs");
    auto read = symbol<MsgsFn>(dll, "PassThruReadMsgs");
    if (!(open && close && connect && disconnect && start_filter && write && read)) return 1;

    uint32_t device = 0, channel = 0, filter = 0, count = 1;
    check(open(nullptr, &device) == STATUS_NOERROR, "the cable VEXO_SIM_CABLES attached opens");
    check(connect(device, ISO15765, 0, 500000, &channel) == STATUS_NOERROR, "ISO15765 connects");
    PASSTHRU_MSG mask = iso15765({0xFF, 0xFF, 0xFF, 0xFF}), pattern = iso15765({0, 0, 0x07, 0xE8});
    PASSTHRU_MSG flow = iso15765({0, 0, 0x07, 0xE0});
    check(start_filter(channel, FLOW_CONTROL_FILTER, &mask, &pattern, &flow, &filter) == STATUS_NOERROR,
          "the flow-control filter starts");
    PASSTHRU_MSG request = iso15765({0, 0, 0x07, 0xE0, 0x09, 0x02}, ISO15765_FRAME_PAD);
    check(write(channel, &request, &count, 1000) == STATUS_NOERROR, "09 02 goes out");
    std::string vin;
    for (int attempt = 0; attempt < 15 && vin.empty(); ++attempt) {
        PASSTHRU_MSG answer{};
        count = 1;
        read(channel, &answer, &count, 200);
        if (count == 1 && answer.DataSize == 24 && answer.Data[4] == 0x49 && answer.Data[5] == 0x02)
            vin.assign(reinterpret_cast<const char*>(answer.Data + 7), 17);
    }
    check(vin == "1VXDM5SM8N0004217", "the VIN comes back: '" + vin + "'");
    check(disconnect(channel) == STATUS_NOERROR && close(device) == STATUS_NOERROR, "the cable closes");
    std::printf("%d passed, %d failed\n", passes, failures);
    return failures == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s DLL [SIMULATED_LIBUSB] | --installed DLL | --application DLL\n", argv[0]);
        return 2;
    }
    if (std::string(argv[1]) == "--installed") return argc == 3 ? installed(argv[2]) : 2;
    if (std::string(argv[1]) == "--application") return argc == 3 ? application(argv[2]) : 2;
    const bool simulated = argc > 2;
    if (simulated) {
        const HMODULE usb = LoadLibraryW(wide(argv[2]).c_str());
        check(usb != nullptr, "the simulated libusb-1.0.dll loads");
        if (usb == nullptr) return 1;
        symbol<void (*)()>(usb, "vexo_sim_reset")();
        symbol<unsigned (*)(unsigned)>(usb, "vexo_sim_attach_cables")(1);
    }

    const HMODULE dll = LoadLibraryExW(wide(argv[1]).c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    check(dll != nullptr, "vexo_j2534_0404.dll loads");
    if (dll == nullptr) return 1;
    auto open = symbol<OpenFn>(dll, "PassThruOpen");
    auto close = symbol<CloseFn>(dll, "PassThruClose");
    auto version = symbol<VersionFn>(dll, "PassThruReadVersion");
    auto last_error = symbol<LastErrorFn>(dll, "PassThruGetLastError");
    check(open && close && version && last_error, "the entry points resolve by their plain names");
    if (!(open && close && version && last_error)) return 1;

    uint32_t device = 0;
    const uint32_t status = open(nullptr, &device);
    char text[80] = {};
    last_error(text);
    std::printf("PassThruOpen -> 0x%02x (%s)\n", static_cast<unsigned>(status), text);
    if (!simulated) {
        check(status == ERR_DEVICE_NOT_CONNECTED, "without libusb the open fails as ERR_DEVICE_NOT_CONNECTED");
        // The folder comes first: the 79-byte text may cut the rest, which the log keeps whole,
        // and in a deep build tree the folder too.
        const std::string sought = "transport error: I/O error: libusb-1.0.dll not found in " + folder_of(argv[1]);
        check(std::string(text).starts_with(sought.substr(0, 79)),
              "the text names libusb-1.0.dll and the DLL's own folder, where it was sought first");
        check(open(nullptr, &device) == ERR_DEVICE_NOT_CONNECTED, "a second open fails the same way, no crash");
    } else {
        check(status == STATUS_NOERROR && device == 1, "the simulated cable opens as device 1");
        char firmware[80] = {}, dll_version[80] = {}, api[80] = {};
        const uint32_t read = version(device, firmware, dll_version, api);
        check(read == STATUS_NOERROR && std::string(api) == "04.04" && firmware[0] != '\0',
              std::string("versions read: firmware '") + firmware + "', api '" + api + "'");
        check(close(device) == STATUS_NOERROR, "the cable closes");
    }
    std::printf("%d passed, %d failed\n", passes, failures);
    return failures == 0 ? 0 : 1;
}
