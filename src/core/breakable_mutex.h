#pragma once

#include <atomic>
#include <exception>
#include <mutex>

namespace vexo {

// A mutex that remembers, for the rest of the process, that a fault unwound while it was held.
class BreakableMutex {
public:
    bool broken() const { return broken_.load(std::memory_order_acquire); }

private:
    friend class BreakableGuard;
    std::mutex mutex_;
    std::atomic<bool> broken_{false};
};

// Holds a BreakableMutex; marks it broken when released by an exception unwinding.
class BreakableGuard {
public:
    explicit BreakableGuard(BreakableMutex& m) : m_(m), exceptions_(std::uncaught_exceptions()) { m_.mutex_.lock(); }
    ~BreakableGuard() { release(); }
    BreakableGuard(const BreakableGuard&) = delete;
    BreakableGuard& operator=(const BreakableGuard&) = delete;

    bool broken() const { return m_.broken(); }

    // Releases early; the destructor then does nothing.
    void release() {
        if (!held_) return;
        if (std::uncaught_exceptions() > exceptions_) m_.broken_.store(true, std::memory_order_release);
        held_ = false;
        m_.mutex_.unlock();
    }

private:
    BreakableMutex& m_;
    int exceptions_;
    bool held_ = true;
};

}  // namespace vexo
