#include "sim/usbfs/usbfs_node.h"

#include <linux/usbdevice_fs.h>
#include <sys/ioctl.h>

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstring>
#include <span>
#include <thread>
#include <utility>

#include "sim/usbfs/usbfs_descriptors.h"

namespace vexo::sim::usbfs {

namespace {

using Clock = std::chrono::steady_clock;

constexpr unsigned kInterfaces = 2;
constexpr const char* kUsbfsDriver = "usbfs";

// The node always polls readable, so libusb reaps in a loop while it waits: an empty reap
// answers after this long to keep that loop from spinning.
constexpr auto kIdleReap = std::chrono::milliseconds(1);

// Owns one reference to resolved client memory.
struct DataRef {
    UMockdevIoctlData* data = nullptr;
    DataRef() = default;
    explicit DataRef(UMockdevIoctlData* d) : data(d) {}
    DataRef(DataRef&& other) noexcept : data(std::exchange(other.data, nullptr)) {}
    DataRef& operator=(DataRef&& other) noexcept {
        std::swap(data, other.data);
        return *this;
    }
    ~DataRef() {
        if (data != nullptr) umockdev_ioctl_data_unref(data);
    }
    template <class T>
    T* as() const {
        return reinterpret_cast<T*>(data->data);
    }
};

DataRef resolve(UMockdevIoctlData* data, std::size_t offset, std::size_t length) {
    GError* error = nullptr;
    UMockdevIoctlData* child = umockdev_ioctl_data_resolve(data, offset, length, &error);
    if (error != nullptr) g_error_free(error);
    return DataRef(child);
}

template <class T>
void write_back(const DataRef& ref, const T& value) {
    umockdev_ioctl_data_update(ref.data, 0, const_cast<guint8*>(reinterpret_cast<const guint8*>(&value)),
                               static_cast<gint>(sizeof value));
}

}  // namespace

struct UsbfsNode::Urb {
    DataRef urb;
    DataRef buffer;
    unsigned long client_address = 0;
    std::uint8_t endpoint = 0;
    std::size_t length = 0;
    std::size_t actual = 0;
    int status = -EINPROGRESS;
    bool in() const { return (endpoint & 0x80) != 0; }
};

struct UsbfsNode::OpenFile {
    std::shared_ptr<SimDevice> device;
    std::uint32_t claimed = 0;
    std::deque<Urb> pending;
    std::deque<Urb> completed;
};

UsbfsNode::UsbfsNode(std::uint8_t address) : handler_(umockdev_ioctl_base_new()), address_(address) {
    g_signal_connect(handler_, "handle-ioctl", G_CALLBACK(on_ioctl), this);
    g_signal_connect(handler_, "client-connected", G_CALLBACK(on_connected), this);
    g_signal_connect(handler_, "client-vanished", G_CALLBACK(on_vanished), this);
}

UsbfsNode::~UsbfsNode() {
    g_signal_handlers_disconnect_by_data(handler_, this);
    {
        std::lock_guard lock(mutex_);
        files_.clear();
    }
    g_object_unref(handler_);
}

void UsbfsNode::plug(std::shared_ptr<SimDevice> device) {
    std::lock_guard lock(mutex_);
    if (device == device_) return;
    device_ = std::move(device);
    drivers_.clear();
    in_pause_ = {};
    out_nak_ = {};
}

void UsbfsNode::bind_driver(int interface_number, std::string name) {
    std::lock_guard lock(mutex_);
    if (name.empty()) {
        drivers_.erase(interface_number);
    } else {
        drivers_[interface_number] = std::move(name);
    }
}

void UsbfsNode::pause_in(std::size_t after_bytes, std::chrono::milliseconds pause) {
    std::lock_guard lock(mutex_);
    in_pause_ = Pause{after_bytes, pause, {}, true};
}

void UsbfsNode::nak_out(std::size_t after_bytes, std::chrono::milliseconds pause) {
    std::lock_guard lock(mutex_);
    out_nak_ = Pause{after_bytes, pause, {}, true};
}

gboolean UsbfsNode::on_ioctl(UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer self) {
    auto* node = static_cast<UsbfsNode*>(self);
    const unsigned long request = umockdev_ioctl_client_get_request(client);
    const Result result = node->handle(client, request, umockdev_ioctl_client_get_arg(client));
    // An empty reap is the idle loop of libusb's event handling; slow it down outside the lock.
    if (request == USBDEVFS_REAPURBNDELAY && result.error == EAGAIN) std::this_thread::sleep_for(kIdleReap);
    umockdev_ioctl_client_complete(client, result.value, result.error);
    return TRUE;
}

void UsbfsNode::on_connected(UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer self) {
    auto* node = static_cast<UsbfsNode*>(self);
    std::lock_guard lock(node->mutex_);
    // A new open file; its client object may sit where a closed one's did.
    auto file = std::make_unique<OpenFile>();
    file->device = node->device_;
    node->files_[client] = std::move(file);
}

void UsbfsNode::on_vanished(UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer self) {
    static_cast<UsbfsNode*>(self)->forget(client);
}

void UsbfsNode::forget(UMockdevIoctlClient* client) {
    std::lock_guard lock(mutex_);
    // Closing the file releases its claims and kills its URBs, as the kernel does.
    files_.erase(client);
}

bool UsbfsNode::gone(const OpenFile& file) const {
    if (!file.device || file.device != device_) return true;
    std::lock_guard lock(bus().mutex);
    return file.device->unplugged;
}

UsbfsNode::Result UsbfsNode::handle(UMockdevIoctlClient* client, unsigned long request, UMockdevIoctlData* arg) {
    std::lock_guard lock(mutex_);
    auto [at, opened] = files_.try_emplace(client);
    if (opened) {
        at->second = std::make_unique<OpenFile>();
        at->second->device = device_;
    }
    OpenFile& file = *at->second;
    if (gone(file)) {
        // Whatever was in flight when the cable went completes as shut down, once.
        if (request == USBDEVFS_REAPURBNDELAY) {
            for (Urb& urb : file.pending) urb.status = -ESHUTDOWN;
            std::move(file.pending.begin(), file.pending.end(), std::back_inserter(file.completed));
            file.pending.clear();
            if (!file.completed.empty()) return reap(file, arg);
        }
        return {-1, ENODEV};
    }

    switch (request) {
        case USBDEVFS_GET_CAPABILITIES: {
            const DataRef caps = resolve(arg, 0, sizeof(std::uint32_t));
            if (caps.data == nullptr) return {-1, EFAULT};
            const std::uint32_t value = USBDEVFS_CAP_ZERO_PACKET | USBDEVFS_CAP_BULK_CONTINUATION |
                                        USBDEVFS_CAP_NO_PACKET_SIZE_LIM | USBDEVFS_CAP_REAP_AFTER_DISCONNECT;
            write_back(caps, value);
            return {0, 0};
        }
        case USBDEVFS_SETCONFIGURATION: {
            const DataRef value = resolve(arg, 0, sizeof(unsigned));
            if (value.data == nullptr) return {-1, EFAULT};
            if (*value.as<unsigned>() != 1) return {-1, EINVAL};
            // The kernel refuses while any interface is claimed, by a driver or by usbfs.
            if (!drivers_.empty()) return {-1, EBUSY};
            for (const auto& [other, other_file] : files_) {
                if (other_file->claimed != 0 && other_file->device == device_) return {-1, EBUSY};
            }
            return {0, 0};
        }
        case USBDEVFS_GETDRIVER: {
            const DataRef query = resolve(arg, 0, sizeof(usbdevfs_getdriver));
            if (query.data == nullptr) return {-1, EFAULT};
            usbdevfs_getdriver answer = *query.as<usbdevfs_getdriver>();
            if (answer.interface >= kInterfaces) return {-1, EINVAL};
            std::string driver;
            if (const auto bound = drivers_.find(static_cast<int>(answer.interface)); bound != drivers_.end()) {
                driver = bound->second;
            }
            for (const auto& [other, other_file] : files_) {
                if ((other_file->claimed & (1u << answer.interface)) != 0 && other_file->device == device_)
                    driver = kUsbfsDriver;
            }
            if (driver.empty()) return {-1, ENODATA};
            std::memset(answer.driver, 0, sizeof answer.driver);
            std::memcpy(answer.driver, driver.data(), std::min(driver.size(), sizeof answer.driver - 1));
            write_back(query, answer);
            return {0, 0};
        }
        case USBDEVFS_IOCTL: {
            const DataRef command = resolve(arg, 0, sizeof(usbdevfs_ioctl));
            if (command.data == nullptr) return {-1, EFAULT};
            const usbdevfs_ioctl& call = *command.as<usbdevfs_ioctl>();
            if (call.ifno < 0 || static_cast<unsigned>(call.ifno) >= kInterfaces) return {-1, EINVAL};
            if (call.ioctl_code == USBDEVFS_DISCONNECT) {
                // usbfs itself is not detached this way: the kernel answers "no data".
                if (drivers_.erase(call.ifno) == 0) return {-1, ENODATA};
                return {0, 0};
            }
            if (call.ioctl_code == USBDEVFS_CONNECT) return {0, 0};
            return {-1, ENOTTY};
        }
        case USBDEVFS_DISCONNECT_CLAIM: {
            const DataRef command = resolve(arg, 0, sizeof(usbdevfs_disconnect_claim));
            if (command.data == nullptr) return {-1, EFAULT};
            const usbdevfs_disconnect_claim& call = *command.as<usbdevfs_disconnect_claim>();
            return claim(file, call.interface, true);
        }
        case USBDEVFS_CLAIMINTERFACE: {
            const DataRef value = resolve(arg, 0, sizeof(unsigned));
            if (value.data == nullptr) return {-1, EFAULT};
            return claim(file, *value.as<unsigned>(), false);
        }
        case USBDEVFS_RELEASEINTERFACE: {
            const DataRef value = resolve(arg, 0, sizeof(unsigned));
            if (value.data == nullptr) return {-1, EFAULT};
            const unsigned number = *value.as<unsigned>();
            if (number >= kInterfaces) return {-1, EINVAL};
            if ((file.claimed & (1u << number)) == 0) return {-1, EINVAL};
            file.claimed &= ~(1u << number);
            return {0, 0};
        }
        case USBDEVFS_SETINTERFACE: {
            const DataRef value = resolve(arg, 0, sizeof(usbdevfs_setinterface));
            if (value.data == nullptr) return {-1, EFAULT};
            const usbdevfs_setinterface& choice = *value.as<usbdevfs_setinterface>();
            if (choice.interface >= kInterfaces || (file.claimed & (1u << choice.interface)) == 0) return {-1, EINVAL};
            return choice.altsetting == 0 ? Result{0, 0} : Result{-1, EINVAL};
        }
        case USBDEVFS_SUBMITURB: return submit(file, arg);
        case USBDEVFS_DISCARDURB: return discard(file, arg);
        case USBDEVFS_REAPURBNDELAY: return reap(file, arg);
        default: return {-1, ENOTTY};
    }
}

UsbfsNode::Result UsbfsNode::claim(OpenFile& file, unsigned interface_number, bool detach_others) {
    if (interface_number >= kInterfaces) return {-1, EINVAL};
    const std::uint32_t bit = 1u << interface_number;
    if ((file.claimed & bit) != 0) return {0, 0};
    for (const auto& [other, other_file] : files_) {
        // Another open file's claim is usbfs's own: disconnect-and-claim leaves it alone.
        if (other_file.get() != &file && (other_file->claimed & bit) != 0 && other_file->device == device_)
            return {-1, EBUSY};
    }
    if (drivers_.contains(static_cast<int>(interface_number))) {
        if (!detach_others) return {-1, EBUSY};
        drivers_.erase(static_cast<int>(interface_number));
    }
    file.claimed |= bit;
    return {0, 0};
}

UsbfsNode::Result UsbfsNode::submit(OpenFile& file, UMockdevIoctlData* arg) {
    DataRef urb_data = resolve(arg, 0, sizeof(usbdevfs_urb));
    if (urb_data.data == nullptr) return {-1, EFAULT};
    const usbdevfs_urb& request = *urb_data.as<usbdevfs_urb>();
    if (request.type != USBDEVFS_URB_TYPE_BULK) return {-1, EINVAL};
    if (request.endpoint != 0x81 && request.endpoint != 0x02) return {-1, ENOENT};
    if ((file.claimed & (1u << 1)) == 0) return {-1, EINVAL};
    if (request.buffer_length < 0) return {-1, EINVAL};
    Urb urb;
    urb.endpoint = request.endpoint;
    urb.length = static_cast<std::size_t>(request.buffer_length);
    urb.client_address = urb_data.data->client_addr;
    if (urb.length > 0) {
        urb.buffer = resolve(urb_data.data, offsetof(usbdevfs_urb, buffer), urb.length);
        if (urb.buffer.data == nullptr) return {-1, EFAULT};
    }
    urb.urb = std::move(urb_data);
    file.pending.push_back(std::move(urb));
    return {0, 0};
}

UsbfsNode::Result UsbfsNode::discard(OpenFile& file, UMockdevIoctlData* arg) {
    unsigned long address = 0;
    std::memcpy(&address, arg->data, std::min<std::size_t>(sizeof address, static_cast<std::size_t>(arg->data_len)));
    const auto at = std::find_if(file.pending.begin(), file.pending.end(),
                                 [address](const Urb& urb) { return urb.client_address == address; });
    if (at == file.pending.end()) return {-1, EINVAL};
    // An asynchronous unlink: the URB completes with what it holds.
    at->status = -ECONNRESET;
    file.completed.push_back(std::move(*at));
    file.pending.erase(at);
    return {0, 0};
}

UsbfsNode::Result UsbfsNode::reap(OpenFile& file, UMockdevIoctlData* arg) {
    if (!gone(file)) progress(file);
    if (file.completed.empty()) return {-1, EAGAIN};
    DataRef slot = resolve(arg, 0, sizeof(void*));
    if (slot.data == nullptr) return {-1, EFAULT};
    Urb urb = std::move(file.completed.front());
    file.completed.pop_front();
    usbdevfs_urb done = *urb.urb.as<usbdevfs_urb>();
    done.status = urb.status;
    done.actual_length = static_cast<int>(urb.actual);
    write_back(urb.urb, done);
    umockdev_ioctl_data_set_ptr(slot.data, 0, urb.urb.data);
    return {0, 0};
}

void UsbfsNode::progress(OpenFile& file) {
    // Each endpoint's URBs complete in the order they were submitted.
    bool in_blocked = false;
    bool out_blocked = false;
    for (auto at = file.pending.begin(); at != file.pending.end();) {
        bool& blocked = at->in() ? in_blocked : out_blocked;
        if (!blocked && (at->in() ? progress_in(*at) : progress_out(*at))) {
            at->status = 0;
            file.completed.push_back(std::move(*at));
            at = file.pending.erase(at);
        } else {
            blocked = true;
            ++at;
        }
    }
}

bool UsbfsNode::progress_in(Urb& urb) {
    const auto now = Clock::now();
    if (now < in_pause_.until) return false;
    std::size_t chunk = 0;
    std::shared_ptr<CableLink> link;
    {
        std::lock_guard lock(bus().mutex);
        chunk = bus().read_chunk;
        link = device_->link;
    }
    std::size_t limit = urb.length - urb.actual;
    if (chunk != 0) limit = std::min(limit, chunk - std::min(chunk, urb.actual));
    const bool pausing = in_pause_.armed && in_pause_.after_bytes <= limit;
    if (pausing) limit = in_pause_.after_bytes / kPacketSize * kPacketSize;
    const std::size_t got = limit > 0 ? link->host_read(std::span(urb.buffer.data->data + urb.actual, limit), now) : 0;
    if (got > 0) {
        umockdev_ioctl_data_update(urb.buffer.data, urb.actual, urb.buffer.data->data + urb.actual,
                                   static_cast<gint>(got));
    }
    urb.actual += got;
    if (in_pause_.armed) in_pause_.after_bytes -= std::min(in_pause_.after_bytes, got);
    if (pausing && got == limit) {
        // Only full packets went so far, so the transfer stays open holding them.
        in_pause_.armed = false;
        in_pause_.until = now + in_pause_.length;
        return urb.actual == urb.length;
    }
    if (urb.actual == urb.length) return true;
    if (chunk != 0 && urb.actual >= chunk) return true;
    // The cable ends a burst with a short packet, or a zero-length one after full packets.
    return got > 0;
}

bool UsbfsNode::progress_out(Urb& urb) {
    const auto now = Clock::now();
    if (now < out_nak_.until) return false;
    std::shared_ptr<CableLink> link;
    {
        std::lock_guard lock(bus().mutex);
        link = device_->link;
    }
    std::size_t take = urb.length - urb.actual;
    const bool naking = out_nak_.armed && out_nak_.after_bytes < take;
    if (naking) take = out_nak_.after_bytes / kPacketSize * kPacketSize;
    if (take > 0) {
        const std::span<const std::uint8_t> bytes(urb.buffer.data->data + urb.actual, take);
        link->host_wrote(bytes);
        std::lock_guard lock(bus().mutex);
        bus().written.insert(bus().written.end(), bytes.begin(), bytes.end());
    }
    urb.actual += take;
    if (out_nak_.armed) out_nak_.after_bytes -= std::min(out_nak_.after_bytes, take);
    if (naking) {
        out_nak_.armed = false;
        out_nak_.until = now + out_nak_.length;
        return false;
    }
    return urb.actual == urb.length;
}

}  // namespace vexo::sim::usbfs
