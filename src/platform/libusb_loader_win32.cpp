// libusb for the shipped DLL on Windows: each libusb function the driver calls forwards to
// libusb-1.0.dll, found on first use. The DLL thus imports only system libraries, loads where
// libusb is missing, and fails only the open of a cable there. Linked into the shipped DLL alone
// (test binaries link the simulated cable); on POSIX the shared library links libusb itself.
#include <windows.h>

#include <libusb.h>

#include <string>

namespace {

std::wstring own_directory() {
    HMODULE self = nullptr;
    if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            reinterpret_cast<LPCWSTR>(&own_directory), &self)) {
        return {};
    }
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = GetModuleFileNameW(self, path.data(), static_cast<DWORD>(path.size()));
        if (n == 0) return {};
        if (n < path.size()) {
            path.resize(n);
            break;
        }
        path.resize(path.size() * 2);
    }
    const auto slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash + 1);
}

HMODULE load_libusb() {
    // One the application already loaded (a simulated cable, say) serves us too.
    if (HMODULE loaded = GetModuleHandleW(L"libusb-1.0.dll")) return loaded;
    // Then beside this DLL, then the system's safe search: never the current directory or PATH.
    if (const std::wstring dir = own_directory(); !dir.empty()) {
        if (HMODULE beside = LoadLibraryExW((dir + L"libusb-1.0.dll").c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH)) {
            return beside;
        }
    }
    return LoadLibraryExW(L"libusb-1.0.dll", nullptr, LOAD_LIBRARY_SEARCH_DEFAULT_DIRS);
}

HMODULE libusb_module() {
    static const HMODULE module = load_libusb();
    return module;
}

template <typename Function>
Function resolve(const char* name) {
    const HMODULE module = libusb_module();
    if (module == nullptr) return nullptr;
    return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

}  // namespace

extern "C" {

// Without libusb every call fails as libusb would for a missing entity.
int LIBUSB_CALL libusb_init(libusb_context** context) {
    static const auto f = resolve<decltype(&libusb_init)>("libusb_init");
    return f ? f(context) : LIBUSB_ERROR_NOT_FOUND;
}

ssize_t LIBUSB_CALL libusb_get_device_list(libusb_context* context, libusb_device*** list) {
    static const auto f = resolve<decltype(&libusb_get_device_list)>("libusb_get_device_list");
    return f ? f(context, list) : LIBUSB_ERROR_NOT_FOUND;
}

void LIBUSB_CALL libusb_free_device_list(libusb_device** list, int unref_devices) {
    static const auto f = resolve<decltype(&libusb_free_device_list)>("libusb_free_device_list");
    if (f) f(list, unref_devices);
}

int LIBUSB_CALL libusb_get_device_descriptor(libusb_device* device, libusb_device_descriptor* descriptor) {
    static const auto f = resolve<decltype(&libusb_get_device_descriptor)>("libusb_get_device_descriptor");
    return f ? f(device, descriptor) : LIBUSB_ERROR_NOT_FOUND;
}

libusb_device_handle* LIBUSB_CALL libusb_open_device_with_vid_pid(libusb_context* context, uint16_t vendor_id,
                                                                  uint16_t product_id) {
    static const auto f = resolve<decltype(&libusb_open_device_with_vid_pid)>("libusb_open_device_with_vid_pid");
    return f ? f(context, vendor_id, product_id) : nullptr;
}

void LIBUSB_CALL libusb_close(libusb_device_handle* handle) {
    static const auto f = resolve<decltype(&libusb_close)>("libusb_close");
    if (f) f(handle);
}

libusb_device* LIBUSB_CALL libusb_get_device(libusb_device_handle* handle) {
    static const auto f = resolve<decltype(&libusb_get_device)>("libusb_get_device");
    return f ? f(handle) : nullptr;
}

int LIBUSB_CALL libusb_set_auto_detach_kernel_driver(libusb_device_handle* handle, int enable) {
    static const auto f = resolve<decltype(&libusb_set_auto_detach_kernel_driver)>(
        "libusb_set_auto_detach_kernel_driver");
    return f ? f(handle, enable) : LIBUSB_ERROR_NOT_FOUND;
}

int LIBUSB_CALL libusb_set_configuration(libusb_device_handle* handle, int configuration) {
    static const auto f = resolve<decltype(&libusb_set_configuration)>("libusb_set_configuration");
    return f ? f(handle, configuration) : LIBUSB_ERROR_NOT_FOUND;
}

int LIBUSB_CALL libusb_detach_kernel_driver(libusb_device_handle* handle, int interface_number) {
    static const auto f = resolve<decltype(&libusb_detach_kernel_driver)>("libusb_detach_kernel_driver");
    return f ? f(handle, interface_number) : LIBUSB_ERROR_NOT_FOUND;
}

int LIBUSB_CALL libusb_claim_interface(libusb_device_handle* handle, int interface_number) {
    static const auto f = resolve<decltype(&libusb_claim_interface)>("libusb_claim_interface");
    return f ? f(handle, interface_number) : LIBUSB_ERROR_NOT_FOUND;
}

int LIBUSB_CALL libusb_release_interface(libusb_device_handle* handle, int interface_number) {
    static const auto f = resolve<decltype(&libusb_release_interface)>("libusb_release_interface");
    return f ? f(handle, interface_number) : LIBUSB_ERROR_NOT_FOUND;
}

int LIBUSB_CALL libusb_set_interface_alt_setting(libusb_device_handle* handle, int interface_number,
                                                 int alternate_setting) {
    static const auto f = resolve<decltype(&libusb_set_interface_alt_setting)>("libusb_set_interface_alt_setting");
    return f ? f(handle, interface_number, alternate_setting) : LIBUSB_ERROR_NOT_FOUND;
}

int LIBUSB_CALL libusb_get_active_config_descriptor(libusb_device* device, libusb_config_descriptor** config) {
    static const auto f =
        resolve<decltype(&libusb_get_active_config_descriptor)>("libusb_get_active_config_descriptor");
    return f ? f(device, config) : LIBUSB_ERROR_NOT_FOUND;
}

void LIBUSB_CALL libusb_free_config_descriptor(libusb_config_descriptor* config) {
    static const auto f = resolve<decltype(&libusb_free_config_descriptor)>("libusb_free_config_descriptor");
    if (f) f(config);
}

int LIBUSB_CALL libusb_bulk_transfer(libusb_device_handle* handle, unsigned char endpoint, unsigned char* data,
                                     int length, int* transferred, unsigned int timeout_ms) {
    static const auto f = resolve<decltype(&libusb_bulk_transfer)>("libusb_bulk_transfer");
    return f ? f(handle, endpoint, data, length, transferred, timeout_ms) : LIBUSB_ERROR_NOT_FOUND;
}

}  // extern "C"
