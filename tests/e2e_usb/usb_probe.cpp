// Loads the shipped library as an application would and checks that libusb-1.0.so.0, as the
// loader resolves it, is the simulated cable: its controls are there, and a libusb call made
// in this process lands in its call record.
#include <dlfcn.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "sim/vexo_sim_api.h"

namespace {

int failures = 0;
int passes = 0;

void check(bool ok, const std::string& what) {
    std::printf("%s: %s\n", ok ? "ok" : "FAILED", what.c_str());
    ok ? ++passes : ++failures;
}

template <class F>
F symbol(void* library, const char* name) {
    return reinterpret_cast<F>(dlsym(library, name));
}

std::string directory_of(const std::string& path) { return path.substr(0, path.find_last_of('/')); }

std::string call_record(void* usb) {
    auto calls = symbol<size_t (*)(char*, size_t)>(usb, "vexo_sim_calls");
    std::vector<char> text(calls(nullptr, 0) + 1);
    calls(text.data(), text.size());
    return text.data();
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s SHIPPED_LIBRARY SIMULATED_LIBUSB_DIRECTORY\n", argv[0]);
        return 2;
    }
    void* shipped = dlopen(argv[1], RTLD_NOW | RTLD_GLOBAL);
    check(shipped != nullptr, std::string("the shipped library loads: ") + (shipped ? argv[1] : dlerror()));
    if (shipped == nullptr) return 1;

    // Already loaded now only if the shipped library itself needs libusb.
    const bool needed_by_shipped = dlopen("libusb-1.0.so.0", RTLD_NOW | RTLD_NOLOAD) != nullptr;
    void* usb = dlopen("libusb-1.0.so.0", RTLD_NOW | RTLD_GLOBAL);
    check(usb != nullptr, "libusb-1.0.so.0 resolves");
    if (usb == nullptr) return 1;
    const bool simulated = dlsym(usb, "vexo_sim_reset") != nullptr;
    check(simulated, "libusb-1.0.so.0 is the simulated cable");
    if (!simulated) {
        std::printf("%d passed, %d failed\n", passes, failures);
        return 1;
    }

    Dl_info where{};
    dladdr(dlsym(usb, "libusb_bulk_transfer"), &where);
    const std::string path = where.dli_fname != nullptr ? where.dli_fname : "";
    check(directory_of(path) == argv[2], "libusb_bulk_transfer comes from " + path);

    symbol<void (*)()>(usb, "vexo_sim_reset")();
    symbol<unsigned (*)(unsigned)>(usb, "vexo_sim_attach_cables")(1);
    auto call_count = symbol<size_t (*)(const char*)>(usb, "vexo_sim_call_count");

    // The process-wide lookup a library bound to libusb-1.0.so.0 gets.
    auto init = reinterpret_cast<int (*)(void**)>(dlsym(RTLD_DEFAULT, "libusb_init"));
    void* context = nullptr;
    check(init != nullptr && init(&context) == 0 && call_count("libusb_init") == 1,
          "a libusb_init from this process lands in the simulated cable");
    // Give the probe's own context back, so a leak check sees only what the library keeps.
    if (auto exit_usb = reinterpret_cast<void (*)(void*)>(dlsym(RTLD_DEFAULT, "libusb_exit")); context && exit_usb) {
        exit_usb(context);
    }

    auto open = symbol<long (*)(void*, unsigned long*)>(shipped, "PassThruOpen");
    check(open != nullptr, "PassThruOpen is exported");
    if (open != nullptr) {
        unsigned long device_id = 0;
        const long status = open(nullptr, &device_id);
        std::printf("PassThruOpen returned 0x%02lx; the simulated cable saw:\n%s", status, call_record(usb).c_str());
        if (status == 0) symbol<long (*)(unsigned long)>(shipped, "PassThruClose")(device_id);
        if (needed_by_shipped) {
            check(call_count("libusb_open") == 1,
                  "PassThruOpen of the shipped library reached the simulated cable");
        } else {
            std::printf("note: the shipped library does not need libusb yet\n");
        }
    }

    std::printf("%d passed, %d failed\n", passes, failures);
    return failures == 0 ? 0 : 1;
}
