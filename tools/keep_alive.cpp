#include "keep_alive.h"

namespace vexo::tools {

namespace {

constexpr std::uint8_t kTesterPresentNoAnswer[] = {0x3E, 0x80};
constexpr std::uint32_t kWriteTimeoutMs = 100;

}  // namespace

KeepAlive::KeepAlive(Session& session, std::uint32_t request_id, bool extended, std::uint32_t interval_ms)
    : session_(session),
      request_id_(request_id),
      extended_(extended),
      interval_(interval_ms),
      last_(std::chrono::steady_clock::now()) {
    if (interval_ms == 0) return;
    const Iso15765Message message = iso15765_message(request_id, extended, kTesterPresentNoAnswer);
    if (auto periodic = session.start_periodic(message.data, message.tx_flags, interval_ms)) {
        periodic_id_ = *periodic;
        return;
    }
    thread_ = std::thread([this] { run(); });
}

KeepAlive::~KeepAlive() {
    if (periodic_id_) (void)session_.stop_periodic(*periodic_id_);
    {
        const std::lock_guard guard(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    if (thread_.joinable()) thread_.join();
}

std::unique_lock<std::mutex> KeepAlive::lock() { return std::unique_lock(mutex_); }

void KeepAlive::touch() { last_ = std::chrono::steady_clock::now(); }

void KeepAlive::run() {
    std::unique_lock guard(mutex_);
    while (!stopping_) {
        const auto due = last_ + interval_;
        if (std::chrono::steady_clock::now() < due) {
            wake_.wait_until(guard, due);
            continue;
        }
        // A lost keep-alive shows in the next exchange; there is no one here to tell.
        (void)send_iso15765(session_, request_id_, extended_, kTesterPresentNoAnswer, kWriteTimeoutMs);
        last_ = std::chrono::steady_clock::now();
    }
}

}  // namespace vexo::tools
