#pragma once

// One cable's device node as the kernel's usbfs serves it: interface claims per open file,
// bulk URBs that move 64-byte packets, end on a short packet or a full buffer, stay pending
// until then or until discarded, and -ENODEV once the cable is gone. The handler runs on
// umockdev's worker thread; the controls may be called from any thread.

#include <umockdev.h>

#include <chrono>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "sim/sim_bus.h"

namespace vexo::sim::usbfs {

class UsbfsNode {
public:
    explicit UsbfsNode(std::uint8_t address);
    ~UsbfsNode();
    UsbfsNode(const UsbfsNode&) = delete;
    UsbfsNode& operator=(const UsbfsNode&) = delete;

    UMockdevIoctlBase* handler() const { return handler_; }

    // The cable now at this address (null: none). A new cable starts with no driver bound
    // and no pauses; files opened on the old one see it gone.
    void plug(std::shared_ptr<SimDevice> device);

    // A kernel driver bound to the interface (empty name: none), as after hot-plugging a
    // cable the ftdi_sio driver claims.
    void bind_driver(int interface_number, std::string name);
    // After `after_bytes` more bytes (whole packets) on the IN endpoint the cable sends
    // nothing for `pause`: an IN transfer then waits holding what it has.
    void pause_in(std::size_t after_bytes, std::chrono::milliseconds pause);
    // After taking `after_bytes` more bytes (whole packets) from the OUT endpoint the cable
    // NAKs every packet for `pause`.
    void nak_out(std::size_t after_bytes, std::chrono::milliseconds pause);

private:
    struct Urb;
    struct OpenFile;
    struct Pause {
        std::size_t after_bytes = 0;
        std::chrono::milliseconds length{0};
        std::chrono::steady_clock::time_point until{};
        bool armed = false;
    };
    struct Result {
        long value = 0;
        int error = 0;
    };

    static gboolean on_ioctl(UMockdevIoctlBase* base, UMockdevIoctlClient* client, gpointer self);
    static void on_connected(UMockdevIoctlBase* base, UMockdevIoctlClient* client, gpointer self);
    static void on_vanished(UMockdevIoctlBase* base, UMockdevIoctlClient* client, gpointer self);

    Result handle(UMockdevIoctlClient* client, unsigned long request, UMockdevIoctlData* arg);
    Result claim(OpenFile& file, unsigned interface_number, bool detach_others);
    Result submit(OpenFile& file, UMockdevIoctlData* arg);
    Result discard(OpenFile& file, UMockdevIoctlData* arg);
    Result reap(OpenFile& file, UMockdevIoctlData* arg);
    void progress(OpenFile& file);
    bool progress_in(Urb& urb);
    bool progress_out(Urb& urb);
    bool gone(const OpenFile& file) const;
    void forget(UMockdevIoctlClient* client);

    UMockdevIoctlBase* handler_ = nullptr;
    std::uint8_t address_;

    mutable std::mutex mutex_;
    std::shared_ptr<SimDevice> device_;
    std::map<int, std::string> drivers_;
    std::map<UMockdevIoctlClient*, std::unique_ptr<OpenFile>> files_;
    Pause in_pause_;
    Pause out_nak_;
};

}  // namespace vexo::sim::usbfs
